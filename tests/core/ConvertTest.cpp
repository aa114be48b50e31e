// The conversion for the radio: files of each format made at test time by ffmpeg, sox and
// twolame become MPEG-1 Layer III with their playing time and tags; MP3 files the radio cannot
// play are converted with their originals kept and the check finds the folder clean; taken names,
// files changed meanwhile, bad input, a cancel, a long recording's memory, the command line with a
// signal, and the window's command.
#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "cli/CliBatch.h"
#include "cli/CliCommand.h"
#include "core/convert/ConvertRun.h"
#include "core/disc/Disc.h"
#include "core/files/Journal.h"
#include "core/files/Module.h"
#include "core/model/ConvertLog.h"
#include "core/tags/ID3v2Text.h"
#include "core/text/TextCodec.h"
#include "tests/core/ModelTestKit.h"

namespace velmora::test {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;

const char* const kTags =
    "-metadata title=Звезда -metadata artist=Кино -metadata album='Группа крови' -metadata "
    "date=1988 -metadata track=3 -metadata genre=Rock -metadata comment=Тест -metadata "
    "lyrics='Белый снег'";

// Makes a test input with a shell command; its output is not shown.
void Make(const std::string& command) {
    ASSERT_EQ(std::system((command + " >/dev/null 2>&1").c_str()), 0) << command;
}

// A tone of `seconds` seconds through ffmpeg into `path`, with the encoder arguments `args`.
void Tone(const std::string& path, const std::string& args, double seconds = 2) {
    Make("ffmpeg -nostdin -v error -y -f lavfi -i sine=frequency=440:duration=" +
         std::to_string(seconds) + " " + args + " '" + path + "'");
}

TAudioInfo Analysed(const std::string& path) {
    TAudioInfo info;
    info.LoadFromFile(path);
    return info;
}

// The playing time the Info frame of an encoded file tells (its frames of 1152 samples).
int64_t InfoMs(const std::string& path) {
    const TAudioInfo info = Analysed(path);
    const std::vector<uint8_t> bytes = ReadFile(path);
    const size_t at =
        static_cast<size_t>(info.FirstFrameOffset) + (info.FrameHdr.ChannelMode() == 3 ? 21 : 36);
    if (at + 12 > bytes.size() || std::memcmp(&bytes[at], "Info", 4) != 0 || !(bytes[at + 7] & 1))
        return -1;
    const int64_t frames =
        int64_t{bytes[at + 8]} << 24 | bytes[at + 9] << 16 | bytes[at + 10] << 8 | bytes[at + 11];
    return frames * 1152 * 1000 / 44100;
}

// The lyrics of a file as the decoder reads its metadata.
std::string Lyrics(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY);
    TFileByteSource bytes(fd);
    const TSourceFacts facts = Codecs().OpenDecoder(bytes, NameOf(path))->Facts();
    ::close(fd);
    for (const auto& [key, value] : facts.Metadata)
        if (key.rfind("lyrics", 0) == 0)
            return value;
    return "";
}

// Converts a folder through the command line; its lines (tab-separated) and the exit status.
int Convert(const std::string& folder, std::vector<std::string>& lines,
            std::vector<std::string> more = {}) {
    std::ostringstream out, err;
    std::vector<std::string> args = {"convert", folder, "--tsv"};
    args.insert(args.end(), more.begin(), more.end());
    const int status = RunCli(args, out, err);
    lines = Lines(out.str());
    return status;
}

// Files of ours left in a folder: temporary files and journals.
std::vector<std::string> OwnFiles(const std::string& folder) {
    std::vector<std::string> own;
    for (const auto& e : fs::directory_iterator(folder))
        if (ParseOwnName(e.path().filename().string()).Pid != 0)
            own.push_back(e.path().filename().string());
    return own;
}

std::set<std::string> AudioCodes(const TDiscCheck& check, const std::string& path) {
    std::set<std::string> codes;
    for (const TDiscProblem& p : check.Problems)
        if (p.Path == path && (p.Code == "not-mp3" || p.Code == "mpeg-version" ||
                               p.Code == "sample-rate" || p.Code == "bitrate"))
            codes.insert(p.Code);
    return codes;
}

TEST(Convert, EveryFormatBecomesMpeg1Layer3WithItsTimeAndTags) {
    TempDir dir;
    struct TSource {
        const char* Name;
        std::string Args;  // "" for the MP2 made by sox and twolame, without tags
        bool Mono = false;
        bool Lyrics = true;
        bool Lossy = false;  // its decoder may give up to a frame of its own padding more
    };
    const std::string tags = kTags;
    const TSource sources[] = {
        {"flac.flac", "-ac 2 " + tags},
        {"aac.m4a", "-ac 2 -c:a aac " + tags, false, true, true},
        {"alac.m4a", "-ac 2 -c:a alac " + tags},
        {"opus.opus", "-ac 2 -c:a libopus " + tags, false, true, true},
        {"vorbis.ogg", "-ac 1 -ar 22050 -c:a libvorbis " + tags, true, true, true},
        {"riff.wav", "-ac 2 " + tags, false, false},
        {"id3.aiff", "-ac 2 -write_id3v2 1 " + tags},
        {"asf.wma", "-ac 2 -c:a wmav2 " + tags, false, true, true},
        {"ape-tag.wv", "-ac 2 -c:a wavpack " + tags},
        {"surround.flac", "-ac 6 " + tags},
        {"layer2.mp2", "", false, false, true},
    };
    for (const TSource& s : sources) {
        if (s.Args.empty()) {
            Make("sox -n -r 48000 -c 2 '" + dir.File("tone.wav") + "' synth 2 sine 500");
            Make("twolame -b 192 '" + dir.File("tone.wav") + "' '" + dir.File(s.Name) + "'");
            fs::remove(dir.File("tone.wav"));
        } else {
            Tone(dir.File(s.Name), s.Args);
        }
    }
    std::map<std::string, int64_t> sourceMs;
    for (const TConvertItem& item :
         PlanConversion(RealFileSystem(), dir.Path(), TConvertSettings{}).Items)
        sourceMs[NameOf(item.Source)] = item.DurationMs;
    std::vector<std::string> lines;
    ASSERT_EQ(Convert(dir.Path(), lines), 0) << ::testing::PrintToString(lines);
    EXPECT_EQ(lines.size(), std::size(sources));
    for (const TSource& s : sources) {
        SCOPED_TRACE(s.Name);
        const std::string mp3 = dir.File(ConvertedName(s.Name));
        ASSERT_TRUE(fs::exists(mp3));
        EXPECT_TRUE(fs::exists(dir.File(s.Name)));  // the source stays
        const TAudioInfo info = Analysed(mp3);
        EXPECT_TRUE(info.FrameHdr.Valid && info.NextFrameMatches);
        EXPECT_EQ(info.FrameHdr.VersionIndex, 1);
        EXPECT_EQ(info.FrameHdr.LayerIndex(), 3);
        EXPECT_EQ(info.FrameHdr.SampleRate, 44100);
        EXPECT_EQ(info.FrameHdr.Bitrate, 192);
        EXPECT_EQ(info.FrameHdr.ChannelMode(), s.Mono ? 3 : 1);
        // The source's time and the encoder's delay (1105 samples), within one frame (and the
        // padding a lossy source's own decoder adds, one of its frames at most).
        EXPECT_NEAR(static_cast<double>(InfoMs(mp3)), static_cast<double>(sourceMs[s.Name]) + 25,
                    s.Lossy ? 54 : 27);
        if (std::string(s.Name) == "layer2.mp2") {
            // No tags: no empty ID3v1 tag that would hide the check's "no-tag".
            EXPECT_FALSE(info.ID3v1.Exists || info.ID3v2.Present);
            continue;
        }
        EXPECT_EQ(DecodeID3v2Text(info.ID3v2.Title), "Звезда");
        EXPECT_EQ(DecodeID3v2Text(info.ID3v2.Artist), "Кино");
        EXPECT_EQ(DecodeID3v2Text(info.ID3v2.Album), "Группа крови");
        EXPECT_EQ(DecodeID3v2Text(info.ID3v2.Year), "1988");
        EXPECT_EQ(DecodeID3v2Text(info.ID3v2.Track), "3");
        EXPECT_EQ(DecodeID3v2Text(info.ID3v2.Genre), "Rock");
        EXPECT_EQ(DecodeID3v2Text(info.ID3v2.Comment), "Тест");
        if (s.Lyrics) {
            EXPECT_EQ(Lyrics(mp3), "Белый снег");
        }
        // ID3v1 as the batch writes it: Windows-1251.
        EXPECT_EQ(Cp1251ToUtf8(info.ID3v1.Title), "Звезда");
        EXPECT_EQ(Cp1251ToUtf8(info.ID3v1.Album), "Группа крови");
        EXPECT_EQ(info.ID3v1.Track, 3);
        EXPECT_EQ(info.ID3v1.GenreCode, 17);
    }
    EXPECT_TRUE(OwnFiles(dir.Path()).empty());
}

TEST(Convert, Mp3TheRadioCannotPlayIsConvertedItsOriginalKeptAndTheCheckIsClean) {
    TempDir dir;
    const std::string data = VELMORA_TEST_DATA;
    fs::copy_file(data + "/mpeg2-l3-cbr32-22k-mono.mp3", dir.File("mpeg2.mp3"));
    fs::copy_file(data + "/mpeg25-l3-cbr8-8k-mono.mp3", dir.File("mpeg25.mp3"));
    fs::copy_file(data + "/mpeg1-l3-cbr128-44k-joint.mp3", dir.File("good.mp3"));
    Make("sox -n -r 44100 -c 2 '" + dir.File("tone.wav") + "' synth 1 sine 500");
    Make("twolame -b 192 '" + dir.File("tone.wav") + "' '" + dir.File("layer2.mp3") + "'");
    fs::rename(dir.File("tone.wav"), dir.File("riff.mp3"));
    Tone(dir.File("beside.flac"), "");
    fs::copy_file(data + "/mpeg1-l3-cbr128-44k-joint.mp3", dir.File("beside.mp3"));
    fs::create_directory(dir.File("D001"));
    fs::copy_file(data + "/mpeg25-l3-cbr16-11k-mono.mp3", dir.File("D001/inner.mp3"));
    const std::vector<std::string> cured = {"mpeg2.mp3", "mpeg25.mp3", "layer2.mp3", "riff.mp3",
                                            "D001/inner.mp3"};
    std::map<std::string, std::vector<uint8_t>> originals;
    for (const std::string& name : cured)
        originals[name] = ReadFile(dir.File(name));
    const auto good = ReadFile(dir.File("good.mp3"));

    const TDiscCheck before = CheckDisc(RealFileSystem(), dir.Path(), DiscProfiles().front());
    for (const std::string& name : cured) {
        ASSERT_FALSE(AudioCodes(before, name).empty()) << name;
        for (const TDiscProblem& p : before.Problems) {
            if (p.Path == name && AudioCodes(before, name).count(p.Code) != 0) {
                EXPECT_THAT(p.Text, HasSubstr("velmora-cli convert")) << p.Text;
            }
        }
    }
    std::vector<std::string> lines;
    ASSERT_EQ(Convert(dir.Path(), lines), 0) << ::testing::PrintToString(lines);
    EXPECT_EQ(lines.size(), cured.size());

    const TDiscCheck after = CheckDisc(RealFileSystem(), dir.Path(), DiscProfiles().front());
    for (const TDiscProblem& p : after.Problems)
        EXPECT_TRUE(AudioCodes(after, p.Path).empty() && p.Path.find(".orig") == std::string::npos)
            << p.Path << ": " << p.Text;
    for (const std::string& name : cured) {
        EXPECT_EQ(ReadFile(dir.File(name + ".orig")), originals[name]) << name;
        EXPECT_TRUE(IsKeptOriginalName(name + ".orig"));
        EXPECT_FALSE(IsMp3Name(name + ".orig"));
    }
    EXPECT_EQ(ReadFile(dir.File("good.mp3")), good);
    EXPECT_FALSE(fs::exists(dir.File("beside (2).mp3")));
    // Nothing is left to do the second time.
    ASSERT_EQ(Convert(dir.Path(), lines), 0);
    EXPECT_TRUE(lines.empty()) << ::testing::PrintToString(lines);
}

TEST(Convert, TheCoverGoesInOnlyWhileTheTagStaysWithinTheProfile) {
    TempDir dir;
    for (const char* folder : {"radio", "standard"}) {
        fs::create_directory(dir.File(folder));
        Make(
            "ffmpeg -nostdin -v error -y -f lavfi -i sine=duration=0.5 -f lavfi -i "
            "testsrc2=size=700x700:duration=1 -frames:v 1 -map 0:a -map 1:v -c:v mjpeg -q:v 1 "
            "-disposition:v attached_pic -metadata title=Обложка '" +
            dir.File(std::string(folder) + "/a.flac") + "'");
    }
    std::vector<std::string> lines;
    ASSERT_EQ(Convert(dir.File("radio"), lines), 0);
    ASSERT_EQ(Convert(dir.File("standard"), lines, {"--profile=Стандартный MP3 CD"}), 0);
    const TAudioInfo radio = Analysed(dir.File("radio/a.mp3"));
    const TAudioInfo standard = Analysed(dir.File("standard/a.mp3"));
    EXPECT_EQ(radio.ID3v2.Pictures, 0);
    EXPECT_LE(radio.ID3v2Size, DiscProfiles().front().MaxID3v2);
    EXPECT_EQ(standard.ID3v2.Pictures, 1);
    EXPECT_GT(standard.ID3v2.PictureBytes, DiscProfiles().front().MaxID3v2);
    EXPECT_EQ(DecodeID3v2Text(radio.ID3v2.Title), "Обложка");
}

TEST(Convert, TakenNamesAndFilesChangedMeanwhileLoseNothing) {
    TempDir dir;
    for (const char* name : {"taken.flac", "raced.flac", "changed.flac"})
        Tone(dir.File(name), "", 0.5);
    fs::create_directory(dir.File("taken.mp3"));
    Make("sox -n -r 44100 -c 1 '" + dir.File("tone.wav") + "' synth 0.5 sine 500");
    Make("twolame -b 96 -m m '" + dir.File("tone.wav") + "' '" + dir.File("layer2.mp3") + "'");
    fs::remove(dir.File("tone.wav"));
    const TConvertSettings settings = ConvertSettingsFor(DiscProfiles().front(), 128);
    const TConvertPlan plan = PlanConversion(RealFileSystem(), dir.Path(), settings);
    ASSERT_EQ(plan.Convertible(), 4u);
    // Between the plan and the run: a file takes a planned name, a source changes, the kept
    // original's name is taken.
    WriteFile(dir.File("raced.mp3"), std::string("mine"));
    std::ofstream(dir.File("changed.flac"), std::ios::app) << "more";
    WriteFile(dir.File("layer2.mp3.orig"), std::string("mine too"));
    const auto changed = ReadFile(dir.File("changed.flac"));
    const auto layer2 = ReadFile(dir.File("layer2.mp3"));

    const auto outcomes = RunConversion(plan, 2, {});
    const TBatchLog done = ConvertDoneLines(plan, outcomes);
    std::map<std::string, TBatchEvent> byName;
    for (const TBatchEvent& e : done)
        byName.emplace(NameOf(e.Path), e);
    EXPECT_EQ(NameOf(byName.at("taken.flac").Target), "taken (2).mp3");
    EXPECT_EQ(NameOf(byName.at("raced.flac").Target), "raced (2).mp3");
    EXPECT_EQ(ReadFile(dir.File("raced.mp3")), (std::vector<uint8_t>{'m', 'i', 'n', 'e'}));
    EXPECT_EQ(byName.at("changed.flac").Kind, TBatchEvent::TKind::Unconverted);
    EXPECT_THAT(byName.at("changed.flac").Detail, HasSubstr("изменён другой программой"));
    EXPECT_EQ(ReadFile(dir.File("changed.flac")), changed);
    EXPECT_FALSE(fs::exists(dir.File("changed.mp3")));
    EXPECT_THAT(byName.at("layer2.mp3").Detail, HasSubstr("«layer2.mp3.2.orig»"));
    EXPECT_EQ(ReadFile(dir.File("layer2.mp3.2.orig")), layer2);
    EXPECT_EQ(Analysed(dir.File("layer2.mp3")).FrameHdr.LayerIndex(), 3);
    EXPECT_TRUE(OwnFiles(dir.Path()).empty());
}

TEST(Convert, AFullDiskAndALinkLeaveEverythingAsItWas) {
    TempDir dir;
    const std::string music = dir.File("music");
    fs::create_directory(music);
    if (mount("tmpfs", music.c_str(), "tmpfs", 0, "size=48k") != 0)
        GTEST_SKIP() << "cannot mount a small tmpfs here: " << strerror(errno);
    struct TUnmount {
        std::string Point;
        ~TUnmount() { umount2(Point.c_str(), MNT_DETACH); }
    } unmount{music};
    // One second of 8 kHz mono: 16 KB in, 40 KB out at 320 kbit/s.
    Tone(dir.File("tone.wav"), "-ac 1 -ar 8000", 1);
    fs::copy_file(dir.File("tone.wav"), music + "/tone.wav");
    fs::copy_file(std::string(VELMORA_TEST_DATA) + "/mpeg2-l3-cbr32-22k-mono.mp3",
                  music + "/real.mp3");
    fs::create_symlink("real.mp3", music + "/link.mp3");
    const auto real = ReadFile(music + "/real.mp3");
    std::vector<std::string> lines;
    EXPECT_EQ(Convert(music, lines, {"--bitrate=320"}), 1);
    ASSERT_EQ(lines.size(), 3u) << ::testing::PrintToString(lines);
    EXPECT_THAT(lines[0], HasSubstr("fail\tlink.mp3\t-\tэто ссылка на другой файл"));
    for (const std::string& line : {lines[1], lines[2]})
        EXPECT_THAT(line, HasSubstr("\t-\tновый файл не записывается: нет места на диске"));
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(music))
        names.insert(e.path().filename().string());
    EXPECT_EQ(names, (std::set<std::string>{"link.mp3", "real.mp3", "tone.wav"}));
    EXPECT_EQ(ReadFile(music + "/tone.wav"), ReadFile(dir.File("tone.wav")));
    EXPECT_EQ(ReadFile(music + "/real.mp3"), real);
    EXPECT_TRUE(OwnFiles(music).empty());
}

TEST(Convert, BadInputGetsItsReasonAndTheRestGoesOn) {
    TempDir dir;
    Tone(dir.File("damaged.flac"), "-ac 2", 3);
    {  // garbage over the middle of the frames
        std::fstream f(dir.File("damaged.flac"), std::ios::in | std::ios::out | std::ios::binary);
        f.seekp(static_cast<std::streamoff>(fs::file_size(dir.File("damaged.flac")) / 2));
        f << std::string(4000, '\x5a');
    }
    WriteFile(dir.File("empty.flac"), std::string());
    WriteFile(dir.File("text.flac"), std::string("Это не музыка, а список покупок.\n"));
    Make(
        "ffmpeg -nostdin -v error -y -f lavfi -i testsrc=duration=1:size=160x120 -f lavfi -i "
        "sine=duration=1 -c:v mpeg4 -c:a aac -shortest '" +
        dir.File("film.mp4") + "'");
    Tone(dir.File("nothing.wav"), "-t 0");
    Tone(dir.File("good.ogg"), "-c:a libvorbis", 1);
    std::map<std::string, std::vector<uint8_t>> before;
    for (const auto& e : fs::directory_iterator(dir.Path()))
        before[e.path().filename().string()] = ReadFile(e.path().string());

    std::vector<std::string> lines;
    EXPECT_EQ(Convert(dir.Path(), lines), 1);
    std::map<std::string, std::string> failed;
    for (const std::string& line : lines) {
        if (line.rfind("fail\t", 0) == 0)
            failed[line.substr(5, line.find('\t', 5) - 5)] = line.substr(line.rfind('\t') + 1);
    }
    EXPECT_EQ(failed.size(), 5u) << ::testing::PrintToString(lines);
    for (const char* name : {"damaged.flac", "empty.flac", "text.flac", "film.mp4", "nothing.wav"})
        EXPECT_FALSE(AllAscii(failed[name])) << name << ": " << failed[name];
    EXPECT_THAT(failed["empty.flac"], HasSubstr("пустой"));
    EXPECT_THAT(failed["film.mp4"], HasSubstr("видео"));
    EXPECT_THAT(failed["damaged.flac"], HasSubstr("повреждены"));
    EXPECT_TRUE(fs::exists(dir.File("good.mp3")));
    for (const auto& [name, bytes] : before)
        EXPECT_EQ(ReadFile(dir.File(name)), bytes) << name;
    EXPECT_EQ(FilesUnder(dir.Path()).size(), before.size() + 1);
}

TEST(Convert, TheBatchThatConvertsFirstPlansWhatItDoes) {
    TempDir dir;
    Tone(dir.File("Песня.flac"), "-ac 2 " + std::string(kTags), 1);
    fs::copy_file(std::string(VELMORA_TEST_DATA) + "/mpeg2-l3-cbr32-22k-mono.mp3",
                  dir.File("old.mp3"));
    fs::copy_file(std::string(VELMORA_TEST_DATA) + "/mpeg1-l3-cbr128-44k-joint.mp3",
                  dir.File("good.mp3"));
    TBatchOptions o;
    o.Convert = o.Translit = o.StripID3v2 = true;
    o.Rename = TNameParts{.Title = true};
    o.Numbered = true;
    std::ostringstream plan, run, err;
    EXPECT_EQ(PlanOrRunBatch(dir.Path(), o, false, true, plan, err), 0) << err.str();
    EXPECT_EQ(PlanOrRunBatch(dir.Path(), o, true, true, run, err), 0) << err.str();
    EXPECT_EQ(plan.str(), run.str());
    EXPECT_THAT(run.str(), HasSubstr("convert\tПесня.flac\tПесня.mp3\t"));
    EXPECT_THAT(run.str(), HasSubstr("move\tПесня.mp3\tZvezda.mp3"));
    EXPECT_TRUE(fs::exists(dir.File("old.mp3.orig")));
}

TEST(Convert, ACancelLeavesNoHalfMadeFile) {
    TempDir dir;
    for (const char* name : {"a.flac", "b.flac", "c.flac"})
        Tone(dir.File(name), "-ac 2", 40);
    const TConvertPlan plan = PlanConversion(RealFileSystem(), dir.Path(),
                                             ConvertSettingsFor(DiscProfiles().front(), 192));
    bool started = false;
    const auto outcomes = RunConversion(
        plan, 2,
        [&](const TConvertStatus& s) {
            started = started || s.MsDone > 0;
            return !started;
        },
        10);
    int cancelled = 0;
    for (size_t i = 0; i < outcomes.size(); ++i) {
        const std::string mp3 = ConvertedName(plan.Items[i].Source);
        if (outcomes[i].State == TConvertOutcome::EState::Done) {
            EXPECT_GT(InfoMs(mp3), 39000);
        } else {
            EXPECT_FALSE(fs::exists(mp3)) << mp3;
        }
        cancelled += outcomes[i].State == TConvertOutcome::EState::Cancelled;
    }
    EXPECT_GE(cancelled, 1);
    EXPECT_TRUE(OwnFiles(dir.Path()).empty());
}

// The largest memory a child converting `plan` until `ms` of audio are done ever held (kB).
long PeakKilobytes(const TConvertPlan& plan, int64_t ms) {
    const pid_t child = fork();
    if (child == 0) {
        RunConversion(
            plan, 1, [ms](const TConvertStatus& s) { return s.MsDone < ms; }, 20);
        struct rusage usage {};
        getrusage(RUSAGE_SELF, &usage);
        _exit(static_cast<int>(std::min<long>(usage.ru_maxrss / 1024, 250)));
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) * 1024L : -1;
}

TEST(Convert, ATenHourRecordingIsReadInBoundedMemory) {
    TempDir dir;
    // Ten hours of 8 kHz mono silence, a sparse file; and ten seconds of the same.
    const auto wav = [](const std::string& path, uint32_t bytes) {
        std::string header;
        const auto le = [&header](uint32_t v, int n) {
            for (int i = 0; i < n; ++i)
                header += static_cast<char>(v >> (8 * i));
        };
        header += "RIFF";
        le(36 + bytes, 4);
        header += "WAVEfmt ";
        for (const auto& [value, size] : std::vector<std::pair<uint32_t, int>>{
                 {16, 4}, {1, 2}, {1, 2}, {8000, 4}, {16000, 4}, {2, 2}, {16, 2}})
            le(value, size);
        header += "data";
        le(bytes, 4);
        WriteFile(path, header);
        fs::resize_file(path, header.size() + bytes);
    };
    fs::create_directory(dir.File("long"));
    fs::create_directory(dir.File("short"));
    wav(dir.File("long/ten hours.wav"), 10u * 3600 * 16000);
    wav(dir.File("short/ten seconds.wav"), 10u * 16000);
    const TConvertSettings settings = ConvertSettingsFor(DiscProfiles().front(), 128);
    const TConvertPlan longPlan = PlanConversion(RealFileSystem(), dir.File("long"), settings);
    const TConvertPlan shortPlan = PlanConversion(RealFileSystem(), dir.File("short"), settings);
    ASSERT_EQ(longPlan.Convertible(), 1u);
    EXPECT_NEAR(static_cast<double>(longPlan.Items[0].DurationMs), 36e6, 1000);
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "AddressSanitizer keeps freed memory aside: a peak size means nothing here";
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
    GTEST_SKIP() << "AddressSanitizer keeps freed memory aside: a peak size means nothing here";
#endif
#endif
    // Ten minutes of the ten hours hold no more than the whole of ten seconds did.
    const long small = PeakKilobytes(shortPlan, 1 << 30);
    const long large = PeakKilobytes(longPlan, 10 * 60 * 1000);
    ASSERT_GT(small, 0);
    EXPECT_LE(large, small + 8 * 1024) << small << " kB, then " << large << " kB";
}

TEST(Convert, TheCheckAndTheConversionJudgeAnMp3Alike) {
    const std::string data = VELMORA_TEST_DATA;
    for (const TDiscProfile& profile : DiscProfiles()) {
        const TAudioLimits limits = ConvertSettingsFor(profile, 192).Limits;
        for (const auto& e : fs::directory_iterator(data)) {
            if (e.path().extension() != ".mp3")
                continue;
            TempDir dir;
            fs::copy_file(e.path(), dir.File("x.mp3"));
            const TDiscCheck check = CheckDisc(RealFileSystem(), dir.Path(), profile);
            EXPECT_EQ(Mp3Problem(Analysed(dir.File("x.mp3")), limits).empty(),
                      AudioCodes(check, "x.mp3").empty())
                << e.path() << " under " << profile.Name;
        }
    }
}

TEST(Convert, NamesOfNewFilesAndKeptOriginals) {
    EXPECT_EQ(ConvertedName("Песня.flac"), "Песня.mp3");
    EXPECT_EQ(ConvertedName("a.b.m4a"), "a.b.mp3");
    EXPECT_EQ(ConvertedName(".hidden"), ".hidden.mp3");
    EXPECT_EQ(NumberedName("Song.mp3", 2), "Song (2).mp3");
    EXPECT_EQ(KeptOriginalName("Song.mp3", 1), "Song.mp3.orig");
    EXPECT_EQ(KeptOriginalName("Song.MP3", 3), "Song.MP3.3.orig");
    for (const char* name : {"Song.mp3.orig", "Song.MP3.ORIG", "Song.mp3.12.orig"})
        EXPECT_TRUE(IsKeptOriginalName(name)) << name;
    for (const char* name : {"Song.orig", "Song.flac.orig", "Song.mp3.x.orig", "Song.mp3"})
        EXPECT_FALSE(IsKeptOriginalName(name)) << name;
    for (const char* name : {"a.FLAC", "b.m4a", "c.opus", "d.wv", "e.aiff"})
        EXPECT_TRUE(IsConvertibleName(name)) << name;
    for (const char* name : {"cover.jpg", "list.m3u", "flac", "a.mp3", "notes.txt"})
        EXPECT_FALSE(IsConvertibleName(name)) << name;
    EXPECT_TRUE(HasConvertedBeside("a.flac", {"a.flac", "a.mp3"}));
    EXPECT_FALSE(HasConvertedBeside("a.flac", {"a.flac", "A.mp3"}));
}

TEST(Convert, AMissingModuleIsToldInRussian) {
    try {
        ModuleEntry("libvelmora-nothing.so", "Entry", "перекодирования");
        FAIL();
    } catch (const EModuleMissing& e) {
        EXPECT_THAT(e.what(), HasSubstr("Не найден модуль перекодирования libvelmora-nothing.so"));
        EXPECT_THAT(e.what(), HasSubstr(ModuleFolders().front()));
    }
}

TEST(Convert, TheCommandLineRefusesBadOptionsAndItsPlanWritesNothing) {
    TempDir dir;
    Tone(dir.File("a.flac"), "", 0.5);
    for (const std::vector<std::string>& args :
         std::vector<std::vector<std::string>>{{"convert"},
                                               {"convert", dir.Path(), "--bitrate=100"},
                                               {"convert", dir.Path(), "--jobs=0"},
                                               {"convert", dir.Path(), "--profile=Нет"},
                                               {"convert", dir.Path(), "--quick"},
                                               {"convert", dir.Path(), dir.Path()}}) {
        std::ostringstream out, err;
        EXPECT_EQ(RunCli(args, out, err), 2) << ::testing::PrintToString(args);
        EXPECT_THAT(err.str(), HasSubstr("velmora-cli convert: "));
    }
    std::vector<std::string> lines;
    EXPECT_EQ(Convert(dir.Path(), lines, {"--plan", "--bitrate=320"}), 0);
    EXPECT_THAT(lines,
                ::testing::ElementsAre(
                    "convert\ta.flac\ta.mp3\tFLAC, 44100 Гц, моно → MP3 320 кбит/с, 44100 Гц"));
    EXPECT_EQ(FilesUnder(dir.Path()), std::vector<std::string>{"a.flac"});
}

TEST(Convert, SigintCancelsTheCommandLineAndLeavesNothingHalfMade) {
    TempDir dir;
    for (const char* name : {"a.flac", "b.flac"})
        Tone(dir.File(name), "-ac 2", 120);
    int err[2];
    ASSERT_EQ(pipe(err), 0);
    const pid_t child = fork();
    if (child == 0) {
        dup2(err[1], 2);
        const int null = ::open("/dev/null", O_WRONLY);
        dup2(null, 1);
        ::execl(VELMORA_CLI, VELMORA_CLI, "convert", dir.Path().c_str(), "--jobs=1",
                static_cast<char*>(nullptr));
        _exit(127);
    }
    ::close(err[1]);
    // The first progress line comes once the conversion runs.
    std::string seen;
    char buffer[256];
    while (seen.find("progress") == std::string::npos) {
        const ssize_t n = ::read(err[0], buffer, sizeof buffer);
        if (n <= 0)
            break;
        seen.append(buffer, static_cast<size_t>(n));
    }
    ::kill(child, SIGINT);
    while (::read(err[0], buffer, sizeof buffer) > 0) {
    }
    ::close(err[0]);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1);
    EXPECT_TRUE(OwnFiles(dir.Path()).empty());
    for (const char* name : {"a.mp3", "b.mp3"}) {
        if (fs::exists(dir.File(name))) {
            EXPECT_GT(InfoMs(dir.File(name)), 119000) << name;
        }
    }
    EXPECT_FALSE(fs::exists(dir.File("b.mp3")));
}

TEST_F(ModelTest, TheWindowsCommandShowsThePlanAndItsProgressAndListsTheNewFiles) {
    Tone(Dir.File("Песня.flac"), "-ac 2 " + std::string(kTags), 1);
    fs::copy_file(std::string(VELMORA_TEST_DATA) + "/mpeg2-l3-cbr32-22k-mono.mp3",
                  Dir.File("old.mp3"));  // outside the radio's profile
    Open();
    ASSERT_EQ(Model.TrackList, std::vector<std::string>{"old.mp3"});
    Port.ConvertKbpsAnswer = 128;
    int refused = 0;
    Port.OnProgress = [&](const TProgress& progress) {
        EXPECT_EQ(progress.Key, "convert");
        // Another command started meanwhile does nothing.
        Model.Run([&] { Model.FileMenuNewClick(); });
        refused += Model.TrackList.size() == 1;
        return true;
    };
    Do(&TMainModel::ConvertMenuConvertClick);
    ASSERT_EQ(Port.Plans.size(), 1u);
    ASSERT_EQ(Port.Plans[0].size(), 2u);
    EXPECT_THAT(Port.Plans[0][0].Detail, HasSubstr("MP3 128 кбит/с"));
    EXPECT_GT(refused, 0);
    EXPECT_EQ(Port.ProgressShown, 0);
    ASSERT_FALSE(Port.Steps.empty());
    EXPECT_EQ(Port.Steps.back().Step, "Перекодировано 2 из 2");
    EXPECT_EQ(Model.ConvertKbps, 128);
    EXPECT_EQ(Model.TrackList, (std::vector<std::string>{"old.mp3", "Песня.mp3"}));
    ASSERT_EQ(Port.Done.size(), 1u);
    EXPECT_EQ(BatchSummary(Port.Done[0], true),
              "Перекодировано в MP3: 2; не сделано: 0; предупреждений: 0");
    EXPECT_EQ(Analysed(Dir.File("Песня.mp3")).FrameHdr.Bitrate, 128);
    EXPECT_TRUE(fs::exists(Dir.File("old.mp3.orig")));
    ExpectWindowRestored();
    // The batch's box alone is something to do.
    Tick(Model.cbAllFilesConvert);
    EXPECT_TRUE(Model.btnProcessAll.Enabled);
}

}  // namespace
}  // namespace velmora::test

// The USB stick: the mount table's lines, the order read back against the list, the copy into a
// temporary folder (names, what stays off, bytes, " (2)"), the refusals (room, read-only, the
// file system), a cancel and write faults midway, and a FAT image through FUSE read back raw.
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <fstream>
#include <thread>

#include "cli/CliCommand.h"
#include "core/model/StickJob.h"
#include "core/stick/MountTable.h"
#include "core/stick/StickWrite.h"
#include "core/tags/ID3v2Text.h"
#include "tests/core/ModelTestKit.h"

namespace velmora::test {
namespace {

namespace fs = std::filesystem;

TEST(StickTest, MountInfoLines) {
    struct TCase {
        std::string Line;
        size_t Count;
        std::string MountPoint{}, FsType{}, Source{};
        bool ReadOnly = false;
    };
    const std::vector<TCase> cases = {
        {"36 35 8:17 / /media/u/MY\\040STICK rw,nosuid shared:1 - vfat /dev/sdb1 rw,fmask=0022", 1,
         "/media/u/MY STICK", "vfat", "/dev/sdb1"},
        {"36 35 8:17 / /media/u/S ro,nosuid - exfat /dev/sdb1 rw", 1, "/media/u/S", "exfat",
         "/dev/sdb1", true},
        {"36 35 8:17 / /m rw master:1 shared:2 - fuseblk /dev/sdc1 ro,user_id=0", 1, "/m",
         "fuseblk", "/dev/sdc1", true},
        {"36 35 0:55 / /tmp/a\\134b rw - fuse.fusefat /tmp/i\\011x rw", 1, "/tmp/a\\b",
         "fuse.fusefat", "/tmp/i\tx"},
        // Escapes that are not three octal digits stay as they are.
        {"1 2 3:4 / /a\\04 rw - t s rw", 1, "/a\\04", "t", "s"},
        {"1 2 3:4 / /a\\400\\9 rw - t s rw", 1, "/a\\400\\9", "t", "s"},
        {"36 35 8::1 7// media/u/MY\\040STI\xff\xff nosuid ro - vfat /dev/7 35 0: rw", 0},
        {"36 35 8:1 / relative rw - vfat /dev/sdb1 rw", 0},
        {"36 35 8:1 / /m rw vfat /dev/sdb1 rw", 0},
        {"36 35 8:1 / /m rw -", 0},
        {"x 35 8:1 / /m rw - vfat /dev/sdb1 rw", 0},
        {"36 35 99999999999:1 / /m rw - vfat /dev/sdb1 rw", 0},
        {"", 0},
        {"\\\\\\ - - - - - - - -", 0},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Line);
        const std::vector<TMountEntry> mounts = ParseMountInfo(c.Line);
        ASSERT_EQ(mounts.size(), c.Count);
        if (c.Count == 0)
            continue;
        EXPECT_EQ(mounts[0].MountPoint, c.MountPoint);
        EXPECT_EQ(mounts[0].FsType, c.FsType);
        EXPECT_EQ(mounts[0].Source, c.Source);
        EXPECT_EQ(mounts[0].ReadOnly, c.ReadOnly);
    }
    const std::vector<TMountEntry> table = ParseMountInfo(
        "1 0 8:1 / / rw - ext4 /dev/sda1 rw\n2 1 8:17 / /media/u rw - vfat /dev/sdb1 rw\n"
        "3 1 8:33 / /media/u2 rw - vfat /dev/sdc1 rw\n");
    EXPECT_EQ(MountOf(table, "/media/u/x/y")->Source, "/dev/sdb1");
    EXPECT_EQ(MountOf(table, "/media/u2")->Source, "/dev/sdc1");
    EXPECT_EQ(MountOf(table, "/media/u22")->Source, "/dev/sda1");
}

TEST(StickTest, OrderReadBack) {
    using V = std::vector<std::string>;
    struct TCase {
        V Expected, Found, Lines;
    };
    const std::vector<TCase> cases = {
        {{"1.mp3", "2.mp3", "10.mp3"}, {"1.mp3", "2.mp3", "10.mp3"}, {}},
        {{}, {}, {}},
        {{"1.mp3", "2.mp3", "10.mp3"},
         {"1.mp3", "10.mp3", "2.mp3"},
         {"в «S» порядок не тот: 2-м стоит «10.mp3» вместо «2.mp3»"}},
        {{"a", "b"}, {"a"}, {"в «S» нет «b»"}},
        {{"a"}, {"a", "FSCK0000.REC"}, {"в «S» лишнее «FSCK0000.REC»"}},
        {{"a", "a"}, {"a"}, {"в «S» нет «a»"}},
    };
    for (const TCase& c : cases)
        EXPECT_EQ(CompareStickOrder(c.Expected, c.Found, "S"), c.Lines);
}

// Fails one kind of call after a number of them went through, with a chosen errno; or spoils the
// bytes written.
class TStickFaults : public TSysCalls {
  public:
    int WritesLeft = -1, OpensLeft = -1;
    int Error = ENOSPC;
    bool Spoil = false;
    std::vector<std::string> Created{};  // the files made, in order
    ssize_t Write(int fd, const void* buffer, size_t count) override {
        if (WritesLeft == 0) {
            errno = Error;
            return -1;
        }
        if (WritesLeft > 0)
            --WritesLeft;
        if (!Spoil)
            return TSysCalls::Write(fd, buffer, count);
        std::string bytes(static_cast<const char*>(buffer), count);
        bytes[count / 2] ^= 1;
        return TSysCalls::Write(fd, bytes.data(), count);
    }
    int OpenAt(int dir, const char* name, int flags, mode_t mode) override {
        if ((flags & O_CREAT) != 0 && OpensLeft >= 0 && OpensLeft-- == 0) {
            errno = Error;
            return -1;
        }
        if ((flags & O_CREAT) != 0 && (flags & O_DIRECTORY) == 0)
            Created.push_back(name);
        return TSysCalls::OpenAt(dir, name, flags, mode);
    }
};

class StickCopyTest : public ::testing::Test {
  protected:
    TempDir Root, Stick;
    std::string Folder;
    TScriptedPort Port;
    TDiscChoice Choice{.Profile = 1};
    TStickVolume Volume;
    TStickFaults Faults;

    void SetUp() override {
        Folder = Root.File("Мой сборник");
        fs::create_directories(Folder + "/CD2");
        // Names that sort otherwise by bytes, and what stays off the stick.
        for (const char* name : {"1.mp3", "2.mp3", "10.mp3", "100.mp3", "Help.mp3", "Help!.mp3"})
            WriteFile(Folder + "/" + name, Mp3Bytes(3));
        WriteFile(Folder + "/CD2/Песня.mp3", Mp3Bytes(1500));
        WriteFile(Folder + "/cover.jpg", std::string(100, 'j'));
        Volume = {};
        Volume.Kind = TStickVolume::EKind::Fuse;
        Volume.Type = "fuse.fusefat";
        Volume.FreeBytes = 1 << 30;
    }
    TStickOutcome Copy() {
        TStickJob job(Port, RealFileSystem(), Choice);
        job.Probe = [this](const std::string&) { return Volume; };
        job.Sys = &Faults;
        return job.Write(Folder, Stick.Path());
    }
    // The stick's files, and the opened folder's files with their bytes.
    std::vector<std::string> OnStick() const { return FilesUnder(Stick.Path()); }
    std::map<std::string, std::vector<uint8_t>> Source() const {
        std::map<std::string, std::vector<uint8_t>> files;
        for (const std::string& f : FilesUnder(Folder))
            files[f] = ReadFile(Folder + "/" + f);
        return files;
    }
};

TEST_F(StickCopyTest, CopiesTheDiscNamesAndChecksTheBytes) {
    const auto before = Source();
    const TStickOutcome first = Copy();
    ASSERT_EQ(first.Kind, TStickOutcome::EKind::Done) << first.Message;
    EXPECT_EQ(first.Folder, Stick.File("Moy sbornik"));
    EXPECT_THAT(first.Message, ::testing::HasSubstr("файлы проверены; порядок проверить нельзя"));
    const std::vector<std::string> names = OnStick();
    EXPECT_EQ(names, (std::vector<std::string>{
                         "Moy sbornik/01 1.mp3", "Moy sbornik/02 2.mp3", "Moy sbornik/03 10.mp3",
                         "Moy sbornik/04 100.mp3", "Moy sbornik/05 Help!.mp3",
                         "Moy sbornik/06 Help.mp3", "Moy sbornik/CD2/Pesnya.mp3"}))
        << "numbered as on the disc, the JPEG left off";
    EXPECT_EQ(ReadFile(Stick.File("Moy sbornik/CD2/Pesnya.mp3")),
              ReadFile(Folder + "/CD2/Песня.mp3"));
    // A second copy goes beside the first; the first and the opened folder stay as they were.
    ASSERT_EQ(Copy().Folder, Stick.File("Moy sbornik (2)"));
    EXPECT_EQ(OnStick().size(), 2 * names.size());
    EXPECT_EQ(Source(), before);
}

// What the radio cannot play goes converted in the place of its MP3, through a temporary file that
// leaves nothing behind; the opened folder is only read. A cancel while converting leaves nothing.
TEST_F(StickCopyTest, ConvertsWhatTheRadioCannotPlay) {
    const auto make = [](const std::string& command) {
        ASSERT_EQ(std::system(("ffmpeg -nostdin -v error -y -f lavfi -i sine=duration=1 " +
                               command + " >/dev/null 2>&1")
                                  .c_str()),
                  0)
            << command;
    };
    make("-metadata title=Звезда '" + Folder + "/15.flac'");
    // MPEG Layer II named .mp3: converted under its own name.
    make("-c:a mp2 -f mp2 '" + Folder + "/3.mp3'");
    // A source whose MP3 stands beside it stays off, as today.
    make("'" + Folder + "/Help.wav'");
    const TempDir temp;
    const char* const was = std::getenv("TMPDIR");
    const std::string saved = was != nullptr ? was : "";
    ::setenv("TMPDIR", temp.Path().c_str(), 1);
    const auto before = Source();

    Port.OnProgress = [](const TProgress& p) { return p.Item != "15.flac"; };
    TStickOutcome outcome = Copy();
    EXPECT_EQ(outcome.Kind, TStickOutcome::EKind::Cancelled) << outcome.Message;
    EXPECT_TRUE(fs::is_empty(Stick.Path()));
    EXPECT_TRUE(fs::is_empty(temp.Path()));

    Port.OnProgress = nullptr;
    Faults.Created.clear();
    outcome = Copy();
    ASSERT_EQ(outcome.Kind, TStickOutcome::EKind::Done) << outcome.Message;
    EXPECT_EQ(Faults.Created, (std::vector<std::string>{
                                  "01 1.mp3", "02 2.mp3", "03 3.mp3", "04 10.mp3", "05 15.mp3",
                                  "06 100.mp3", "07 Help!.mp3", "08 Help.mp3", "Pesnya.mp3"}));
    for (const char* name : {"03 3.mp3", "05 15.mp3"}) {
        const TAudioInfo info = [&] {
            TAudioInfo i;
            i.LoadFromFile(Stick.File("Moy sbornik/") + name);
            return i;
        }();
        EXPECT_EQ(info.FrameHdr.VersionIndex, 1) << name;
        EXPECT_EQ(info.FrameHdr.LayerIndex(), 3) << name;
        EXPECT_EQ(info.FrameHdr.SampleRate, 44100) << name;
        EXPECT_EQ(info.FrameHdr.Bitrate, 192) << name;
    }
    TAudioInfo flac;
    flac.LoadFromFile(Stick.File("Moy sbornik/05 15.mp3"));
    EXPECT_EQ(DecodeID3v2Text(flac.ID3v2.Title), "Звезда");
    // Under the radio's profile the built MP3 files are converted too, and fail to decode: each
    // goes on the stick as it is, as it would without the conversion.
    Choice.Profile = 0;
    outcome = Copy();
    ASSERT_EQ(outcome.Kind, TStickOutcome::EKind::Done) << outcome.Message;
    EXPECT_THAT(outcome.Message, ::testing::HasSubstr("«1.mp3» не перекодирован: "));
    EXPECT_THAT(outcome.Message, ::testing::HasSubstr(" — записан как есть"));
    EXPECT_EQ(ReadFile(Stick.File("Moy sbornik (2)/01 1.mp3")), ReadFile(Folder + "/1.mp3"));
    EXPECT_EQ(Source(), before);
    EXPECT_TRUE(fs::is_empty(temp.Path()));
    if (was != nullptr)
        ::setenv("TMPDIR", saved.c_str(), 1);
    else
        ::unsetenv("TMPDIR");
}

// The room a converted file needs is its MP3's, at the bitrate chosen, not its source's: the plan
// at the edge of the stick's free space, and the command line's lines.
TEST_F(StickCopyTest, ConvertedFilesTakeTheirMp3sRoom) {
    const std::string wav = Folder + "/20.wav";
    ASSERT_EQ(std::system(("sox -n -r 44100 -c 2 '" + wav + "' synth 10 sine 500").c_str()), 0);
    struct TPlanPort : TScriptedPort {
        TStickPlan Seen;
        bool ShowStickPlan(const TStickPlan& plan) override {
            Seen = plan;
            return false;
        }
    } planned;
    TStickJob look(planned, RealFileSystem(), Choice);
    look.Probe = [this](const std::string&) { return Volume; };
    look.Write(Folder, Stick.Path());
    const TStickPlan& plan = planned.Seen;
    ASSERT_EQ(plan.ConvertedCount(), 1u);
    const int64_t mp3 = 192 * 125 * 10;  // ten seconds at 192 kbit/s
    const int64_t others = plan.Bytes - plan.Check.Files[3].Size;
    EXPECT_EQ(plan.Check.Files[3].Name, "04 20.mp3");
    EXPECT_GE(plan.Check.Files[3].Size, mp3);
    EXPECT_LT(plan.Check.Files[3].Size, mp3 + 4096);
    EXPECT_LT(plan.Bytes, others + static_cast<int64_t>(fs::file_size(wav)));
    for (const int64_t spare : {-1, 0}) {
        Volume.FreeBytes = plan.Needed + spare;
        const TStickOutcome outcome = Copy();
        EXPECT_EQ(outcome.Kind,
                  spare < 0 ? TStickOutcome::EKind::Refused : TStickOutcome::EKind::Done)
            << outcome.Message;
    }
    std::ostringstream out, err;
    EXPECT_EQ(RunCli({"usb", Folder, Stick.Path(), "--bitrate=100"}, out, err), 2);
    EXPECT_EQ(RunCli({"usb", Folder, Stick.Path(), "--yes", "--bitrate=320",
                      "--profile=Стандартный MP3 CD"},
                     out, err),
              0)
        << err.str();
    EXPECT_THAT(out.str(),
                ::testing::HasSubstr("note\t20.wav\tconvert\tперекодируется: 20.wav → 04 "
                                     "20.mp3 (WAV, 44100 Гц → MP3 320 кбит/с"));
    EXPECT_THAT(out.str(), ::testing::HasSubstr("(перекодируются: 1)"));
}

TEST_F(StickCopyTest, RefusesBeforeWriting) {
    struct TCase {
        std::function<void(TStickVolume&)> Set;
        std::string Says;
        TStickOutcome::EKind Kind = TStickOutcome::EKind::Refused;
    };
    const std::vector<TCase> cases = {
        {[](TStickVolume& v) { v.FreeBytes = 10000; }, "не хватает места: нужно 1,5 МБ"},
        {[](TStickVolume& v) { v.ReadOnly = true; }, "только для чтения"},
        {[](TStickVolume& v) { v.Depth = 7; }, "на 9-м уровне"},
        {[](TStickVolume& v) { v.Kind = TStickVolume::EKind::ExFat; }, "exFAT",
         TStickOutcome::EKind::Stopped},
        {[](TStickVolume& v) { v.Type = "fuseblk"; }, "FUSE (fuseblk)",
         TStickOutcome::EKind::Stopped},
    };
    for (const TCase& c : cases) {
        SetUp();
        c.Set(Volume);
        const TStickOutcome outcome = Copy();
        EXPECT_EQ(outcome.Kind, c.Kind);
        EXPECT_THAT(outcome.Message, ::testing::HasSubstr(c.Says));
        EXPECT_EQ(OnStick(), std::vector<std::string>{});
        EXPECT_TRUE(fs::is_empty(Stick.Path()));
    }
}

TEST_F(StickCopyTest, CancelAndFaultsRemoveTheNewFolder) {
    // Something of the user's on the stick stays.
    WriteFile(Stick.File("keep.txt"), "x");
    fs::create_directory(Stick.File("Moy sbornik"));
    const auto before = Source();
    int steps = 0;
    Port.OnProgress = [&steps](const TProgress&) { return ++steps < 3; };
    TStickOutcome outcome = Copy();
    EXPECT_EQ(outcome.Kind, TStickOutcome::EKind::Cancelled);
    EXPECT_THAT(outcome.Message,
                ::testing::HasSubstr("«" + Stick.File("Moy sbornik (2)") + "» удалена с флешки"));
    Port.OnProgress = nullptr;
    struct TCase {
        int Writes, Opens, Error;
        std::string Says;
    };
    for (const TCase& c : std::vector<TCase>{{3, -1, ENOSPC, "нет места на диске"},
                                             {0, -1, EIO, "ошибка ввода-вывода"},
                                             {-1, 5, EROFS, "только для чтения"}}) {
        Faults.WritesLeft = c.Writes;
        Faults.OpensLeft = c.Opens;
        Faults.Error = c.Error;
        outcome = Copy();
        EXPECT_EQ(outcome.Kind, TStickOutcome::EKind::Failed);
        EXPECT_THAT(outcome.Message, ::testing::HasSubstr(c.Says));
        EXPECT_THAT(outcome.Message, ::testing::HasSubstr("ничего не изменилось"));
    }
    EXPECT_EQ(OnStick(), std::vector<std::string>{"keep.txt"});
    EXPECT_TRUE(fs::is_empty(Stick.File("Moy sbornik")));
    EXPECT_EQ(Source(), before);
    // Bytes that reach the stick spoilt are found by the check.
    Faults = {};
    Faults.Spoil = true;
    outcome = Copy();
    EXPECT_EQ(outcome.Kind, TStickOutcome::EKind::Failed);
    EXPECT_THAT(outcome.Message, ::testing::HasSubstr("Pesnya.mp3» не совпадает с файлом "
                                                      "«CD2/Песня.mp3» с байта 524288"));
}

TEST_F(StickCopyTest, CommandLine) {
    std::ostringstream out, err;
    EXPECT_EQ(RunCli({"usb", Folder}, out, err), 2);
    // /tmp is not a stick's file system: the question is answered by --yes.
    EXPECT_EQ(RunCli({"usb", Folder, Stick.Path(), "--profile=Стандартный MP3 CD"}, out, err), 1);
    EXPECT_TRUE(fs::is_empty(Stick.Path()));
    EXPECT_EQ(
        RunCli({"usb", Folder, Stick.Path(), "--profile=Стандартный MP3 CD", "--yes"}, out, err), 0)
        << err.str();
    EXPECT_THAT(out.str(), ::testing::HasSubstr("folder\t" + Stick.File("Moy sbornik") + "\n"));
    EXPECT_THAT(out.str(), ::testing::HasSubstr("checked\tфайлы проверены"));
}

// A stick's limits at their edges: 1000 files a folder, the profile's name length.
TEST(StickPlanTest, LimitsOfAStick) {
    TempDir music;
    for (int i = 0; i < 1000; ++i)
        WriteFile(music.File(std::to_string(1000 + i) + ".mp3"), Mp3Bytes(1));
    const auto lines = [&music](const char* code) {
        std::vector<std::string> found;
        for (const TDiscProblem& p :
             PlanStick(RealFileSystem(), music.Path(), "/media/u/S", DiscProfiles()[1], {})
                 .Problems)
            if (p.Code == code)
                found.push_back(p.Path + ": " + p.Text);
        return found;
    };
    EXPECT_EQ(lines("too-many-in-folder"), std::vector<std::string>{});
    WriteFile(music.File(std::string(60, 'x') + ".mp3"), Mp3Bytes(1));
    EXPECT_EQ(lines("too-many-in-folder").size(), 1u);
    EXPECT_THAT(lines("too-many-in-folder")[0],
                ::testing::HasSubstr("Файлов в папке 1001 из 1000"));
    EXPECT_EQ(lines("name-too-long"), std::vector<std::string>{});
    WriteFile(music.File(std::string(61, 'y') + ".mp3"), Mp3Bytes(1));
    EXPECT_EQ(lines("name-too-long"), std::vector<std::string>{std::string(61, 'y') +
                                                               ".mp3: Имя длиннее 64 символов: "
                                                               "на флешке будет «" +
                                                               std::string(60, 'y') + ".mp3»"});
    // FAT drops the dots a folder's name ends in: "Live." would come back as "Live".
    TempDir other;
    for (const char* folder : {"Live.", "live"}) {
        fs::create_directory(other.File(folder));
        WriteFile(other.File(folder) + "/a.mp3", Mp3Bytes(1));
    }
    const TStickPlan plan = PlanStick(RealFileSystem(), other.Path(), "/s", DiscProfiles()[1], {});
    ASSERT_EQ(plan.Check.Folders.size(), 2u);
    EXPECT_EQ(plan.Check.Folders[0].Name, "01 live");
    EXPECT_EQ(plan.Check.Folders[1].Name, "02 Live");
    EXPECT_FALSE(plan.HasFatal());
    // ... and a folder "A.mp3." would come back as the file "a.mp3" beside it: refused.
    TempDir clash;
    fs::create_directory(clash.File("A.mp3."));
    WriteFile(clash.File("A.mp3.") + "/b.mp3", Mp3Bytes(1));
    WriteFile(clash.File("a.mp3"), Mp3Bytes(1));
    EXPECT_THAT(
        StickRefusal(PlanStick(RealFileSystem(), clash.Path(), "/s", DiscProfiles()[1], {})),
        ::testing::HasSubstr("A.mp3.: На флешке будет два имени «A.mp3»"));
}

// The window's question: notes and fatal problems aside, twelve lines at most.
TEST(StickPlanTest, QuestionBeforeTheCopy) {
    TStickPlan plan;
    plan.Problems.push_back({".", "numbered", "номера", false, true});
    plan.Problems.push_back({".", "too-deep", "глубоко", true});
    EXPECT_EQ(StickPlanQuestion(plan), "");
    for (int i = 1; i <= 13; ++i)
        plan.Problems.push_back({std::to_string(i) + ".mp3", "no-tag", "нет тега"});
    const std::string question = StickPlanQuestion(plan);
    EXPECT_THAT(question, ::testing::StartsWith("Перед записью на флешку:\r1.mp3: нет тега\r"));
    EXPECT_THAT(question, ::testing::HasSubstr("12.mp3: нет тега\r… и ещё 1\r\rФайлов: 0"));
    EXPECT_THAT(question, ::testing::Not(::testing::HasSubstr("глубоко")));
}

// Ctrl-C (or a kill) while velmora-cli writes: the new folder is removed, then the program ends
// by that signal.
TEST(StickSignals, AnInterruptedCopyLeavesNothing) {
    TempDir music;
    WriteFile(music.File("01.mp3"), TMp3Builder().Frames({}, 4).Build());
    ASSERT_EQ(::truncate(music.File("01.mp3").c_str(), 600 << 20), 0);  // sparse
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        TempDir stick;
        const pid_t child = ::fork();
        if (child == 0) {
            std::ostringstream o, e;
            ::_exit(RunCli({"usb", music.Path(), stick.Path(), "--yes"}, o, e));
        }
        bool writing = false;  // until the copy holds some of the data
        for (int i = 0; i < 20000 && !writing; ++i) {
            for (const auto& e : fs::recursive_directory_iterator(stick.Path()))
                writing = writing || (e.is_regular_file() && e.file_size() > (4 << 20));
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        ::kill(child, signal);
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        EXPECT_TRUE(writing && WIFSIGNALED(status) && WTERMSIG(status) == signal) << status;
        EXPECT_TRUE(fs::is_empty(stick.Path()));
    }
}

// The window's command: the place asked, the result shown.
TEST_F(StickCopyTest, WindowCommand) {
    TMainModel model{Port};
    model.FormCreate();
    Port.FolderAnswers.push_back(Folder);
    model.Run([&] { model.FileMenuAddDirClick(); });
    Port.StickAnswers.push_back(Stick.Path());
    Port.DefaultYesNo = true;
    model.DiscChoice.Profile = 1;
    model.Run([&] { model.ConvertMenuStickClick(); });
    ASSERT_EQ(Port.Errors, std::vector<std::string>{});
    ASSERT_FALSE(Port.Messages.empty());
    EXPECT_THAT(Port.Messages.back(), ::testing::HasSubstr("Папка записана на флешку"));
    EXPECT_EQ(OnStick().size(), 7u);
}

// A command's output and its exit status; "" and -1 when it cannot run.
int Shell(const std::string& command, std::string* output = nullptr) {
    FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
    if (!pipe)
        return -1;
    std::string text;
    char buffer[4096];
    while (size_t n = std::fread(buffer, 1, sizeof buffer, pipe))
        text.append(buffer, n);
    const int status = ::pclose(pipe);
    if (output)
        *output = text;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// A FAT32 image mounted through fusefat: a flat folder whose names sort otherwise, twice (the
// second beside the first), and the numbered layout D001…; unmounted and read back raw, the
// entries lie on the image in the list's order. Mounted read-only, the copy is refused. Skips
// where the tools or /dev/fuse are missing.
TEST(StickFatTest, EntriesLieInTheListsOrder) {
    for (const char* tool : {"mkfs.vfat", "fusefat", "fusermount", "fatsort"})
        if (Shell(std::string("command -v ") + tool) != 0)
            GTEST_SKIP() << tool << " is not installed (scripts/deps.sh installs it)";
    if (::access("/dev/fuse", R_OK | W_OK) != 0)
        GTEST_SKIP() << "/dev/fuse cannot be used here";
    TempDir dir;
    const std::string image = dir.File("stick.img"), mount = dir.File("mnt"),
                      flat = dir.File("Help"), numbered = dir.File("Numbered");
    fs::create_directories(mount);
    fs::create_directories(flat);
    for (const char* name : {"1.mp3", "2.mp3", "10.mp3", "100.mp3", "Help.mp3", "Help!.mp3"})
        WriteFile(flat + "/" + name, Mp3Bytes(2));
    for (const char* name : {"D002/b.mp3", "D002/a.mp3", "D001/z.mp3", "D010/c.mp3"}) {
        fs::create_directories(fs::path(numbered + "/" + name).parent_path());
        WriteFile(numbered + "/" + name, Mp3Bytes(2));
    }
    ASSERT_EQ(Shell("mkfs.vfat -F 32 -C '" + image + "' 40000"), 0);
    TScriptedPort port;
    TDiscChoice choice{.Profile = 1};
    // Mounted for as long as it lives, unmounted whatever happens.
    struct TMount {
        std::string Mount;
        int Status;
        TMount(const std::string& image, const std::string& mount, const char* options)
            : Mount(mount),
              Status(
                  Shell("fusefat " + std::string(options) + " '" + image + "' '" + mount + "'")) {}
        ~TMount() { Shell("fusermount -u '" + Mount + "'"); }
    };
    std::vector<TStickOutcome> outcomes;
    {
        const TMount mounted(image, mount, "-o rw+");
        // A machine may have /dev/fuse and still refuse the mount (a container without the
        // right to mount): nothing to test there.
        if (mounted.Status != 0)
            GTEST_SKIP() << "fusefat cannot mount here (exit status " << mounted.Status << ")";
        for (const std::string& folder : {flat, flat, numbered})
            outcomes.push_back(TStickJob(port, RealFileSystem(), choice).Write(folder, mount));
    }
    for (const TStickOutcome& outcome : outcomes) {
        EXPECT_EQ(outcome.Kind, TStickOutcome::EKind::Done) << outcome.Message;
        EXPECT_THAT(outcome.Message, ::testing::HasSubstr("порядок проверить нельзя"));
    }
    std::string listing;
    ASSERT_EQ(Shell("fatsort -l '" + image + "'", &listing), 0) << listing;
    // fatsort lists each folder ("/Help/") and below it its entries in the order they lie.
    std::map<std::string, std::vector<std::string>> lies;
    std::string folder;
    for (const std::string& line : Lines(listing)) {
        if (!line.empty() && line[0] == '/' && line.back() == '/')
            folder = line;
        else if (!folder.empty() && !line.empty() && line.find(':') == std::string::npos)
            lies[folder].push_back(line);
    }
    const std::vector<std::string> help = {"01 1.mp3",   "02 2.mp3",     "03 10.mp3",
                                           "04 100.mp3", "05 Help!.mp3", "06 Help.mp3"};
    EXPECT_EQ(lies["/"], (std::vector<std::string>{"Help", "Help (2)", "Numbered"})) << listing;
    EXPECT_EQ(lies["/Help/"], help) << listing;
    EXPECT_EQ(lies["/Help (2)/"], help) << listing;
    EXPECT_EQ(lies["/Numbered/"], (std::vector<std::string>{"D001", "D002", "D010"})) << listing;
    EXPECT_EQ(lies["/Numbered/D002/"], (std::vector<std::string>{"a.mp3", "b.mp3"})) << listing;
    // Read-only: refused before anything is written.
    const TMount readOnly(image, mount, "-o ro");
    ASSERT_EQ(readOnly.Status, 0);
    const TStickOutcome refused = TStickJob(port, RealFileSystem(), choice).Write(flat, mount);
    EXPECT_EQ(refused.Kind, TStickOutcome::EKind::Refused);
    EXPECT_THAT(refused.Message, ::testing::HasSubstr("только для чтения"));
}

}  // namespace
}  // namespace velmora::test

// Burning from the command line (the velmora-cli program, signals included) and from the
// window's model (a scripted user), onto pseudo-drives: the disc holds the image, refusals come
// before anything is written, a cancel midway leaves nothing behind, no second command starts.
#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>

#include "cli/CliCommand.h"
#include "core/burn/BurnSetup.h"
#include "core/model/BurnCommands.h"
#include "core/model/MainModel.h"
#include "tests/support/ScriptedPort.h"
#include "tools/Mp3Builder.h"

namespace velmora::test {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;

constexpr int64_t kSector = 2048;

struct TRun {
    int Status = -1;
    std::string Out, Err;
};

// Runs velmora-cli with TMPDIR set, its standard output into `outFile`; `onErrLine` sees each
// line of standard error as it comes, with the program's pid.
TRun RunProgram(const std::vector<std::string>& args, const std::string& tmpdir,
                const std::string& outFile,
                const std::function<void(const std::string&, pid_t)>& onErrLine = {}) {
    int err[2];
    if (::pipe2(err, O_CLOEXEC) != 0)
        return {};
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(::open(outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600), 1);
        ::dup2(err[1], 2);
        ::setenv("TMPDIR", tmpdir.c_str(), 1);
        std::vector<char*> argv{const_cast<char*>(VELMORA_CLI)};
        for (const std::string& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::execv(VELMORA_CLI, argv.data());
        ::_exit(127);
    }
    ::close(err[1]);
    TRun run;
    FILE* lines = ::fdopen(err[0], "r");
    char* line = nullptr;
    size_t size = 0;
    for (ssize_t n; (n = ::getline(&line, &size, lines)) > 0;) {
        run.Err.append(line, static_cast<size_t>(n));
        if (onErrLine)
            onErrLine(std::string(line, static_cast<size_t>(n) - 1), pid);
    }
    std::free(line);
    std::fclose(lines);
    int status = 0;
    ::waitpid(pid, &status, 0);
    run.Status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    const std::vector<uint8_t> out = ReadFile(outFile);
    run.Out.assign(out.begin(), out.end());
    return run;
}

// MPEG-1 Layer III at 128 kbit/s that every radio plays, `frames` long.
void PutMp3(const std::string& path, int frames, uint8_t seed) {
    fs::create_directories(fs::path(path).parent_path());
    TMp3Builder b;
    b.Frames({}, frames).Bytes(seed, seed).ID3v1({.Title = "Song", .Artist = "Band", .Track = 1});
    WriteFile(path, b.Build());
}

// An ISO 9660 image whose every sector differs from the others: its primary volume descriptor
// at sector 16 tells `volume` sectors (by default the file's whole sectors).
std::string RawImage(const TempDir& dir, int64_t bytes, int64_t volume = -1,
                     const std::string& name = "a.iso") {
    std::string data(static_cast<size_t>(bytes), '\0');
    for (int64_t i = 0; i < bytes; ++i)
        data[static_cast<size_t>(i)] = static_cast<char>((i / kSector * 7 + i) & 0xff);
    const size_t pvd = 16 * kSector;
    const uint32_t sectors = static_cast<uint32_t>(volume < 0 ? bytes / kSector : volume);
    if (data.size() >= pvd + kSector) {
        data.replace(pvd, 7,
                     std::string("\x01"
                                 "CD001\x01",
                                 7));
        for (size_t k = 0; k < 4; ++k)
            data[pvd + 80 + k] = static_cast<char>(sectors >> (8 * k));
        data[pvd + 128] = 0;
        data[pvd + 129] = 8;  // 2048
    }
    WriteFile(dir.File(name), data);
    return dir.File(name);
}

// True when isoinfo (genisoimage) reads the file back from the image, by its Joliet name, with
// the bytes of the source.
bool IsoinfoReadsBack(const std::string& iso, const std::string& path, const std::string& source) {
    std::string text;
    FILE* pipe = ::popen(("isoinfo -J -i '" + iso + "' -x '/" + path + "'").c_str(), "r");
    if (!pipe)
        return false;
    char buffer[4096];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        text.append(buffer, n);
    ::pclose(pipe);
    const std::vector<uint8_t> bytes = ReadFile(source);
    return text == std::string(bytes.begin(), bytes.end());
}

class BurnCommands : public ::testing::Test {
  protected:
    TempDir Music, Out, Tmp;
    void SetUp() override {
        PutMp3(Music.File("01_first.mp3"), 40, 1);
        PutMp3(Music.File("D001/01_a.mp3"), 60, 2);
        PutMp3(Music.File("D002/big.mp3"), 5000, 3);  // 2 MB: libburn paces from 1 MB on
    }
    std::string Drive(const std::string& name) const { return "stdio:" + Out.File(name); }
    bool TmpIsEmpty() const { return fs::is_empty(Tmp.Path()); }
    TRun Cli(const std::vector<std::string>& args,
             const std::function<void(const std::string&, pid_t)>& onErrLine = {}) {
        return RunProgram(args, Tmp.Path(), Out.File("stdout.txt"), onErrLine);
    }
};

TEST_F(BurnCommands, AnImageAndAFolderGoOntoTheDiscAndAreReadBack) {
    const std::string image = RawImage(Out, 300 * kSector + 5);
    const TRun fromImage = Cli({"burn", image, "--drive", Drive("i.out")});
    ASSERT_EQ(fromImage.Status, 0) << fromImage.Err;
    EXPECT_THAT(fromImage.Out, HasSubstr("medium\tФайл вместо диска: " + Out.File("i.out")));
    const std::string burnt = "burnt\t" + Drive("i.out") + "\tSAO\tДиск записан и проверен.";
    EXPECT_THAT(fromImage.Out, HasSubstr(burnt));
    EXPECT_THAT(fromImage.Err, HasSubstr("progress\tverify\t100%"));

    const TRun fromFolder = Cli({"burn", Music.Path(), "--drive", Drive("f.out"), "--eject"});
    ASSERT_EQ(fromFolder.Status, 0) << fromFolder.Err;
    EXPECT_THAT(fromFolder.Out, HasSubstr("summary\t"));
    EXPECT_THAT(fromFolder.Err, HasSubstr("progress\timage\t100%"));
    for (const std::string f : {"01_first.mp3", "D001/01_a.mp3", "D002/big.mp3"})
        EXPECT_TRUE(IsoinfoReadsBack(Out.File("f.out"), f, Music.File(f))) << f;
    EXPECT_TRUE(TmpIsEmpty());
}

TEST_F(BurnCommands, RefusalsComeBeforeAnythingIsWritten) {
    fs::create_directory(Out.File("empty"));
    const std::string image = RawImage(Out, 20 * kSector);
    const std::string cut = RawImage(Out, 20 * kSector, 40, "cut.iso");
    PutMp3(Out.File("song.iso"), 40, 4);
    std::string noise(40 * kSector, '\0');
    for (size_t i = 0; i < noise.size(); ++i)
        noise[i] = static_cast<char>(i * 2654435761u >> 13);
    WriteFile(Out.File("noise.iso"), noise);
    std::string error;
    const bool noDrive = FindDrives(error).empty();
    const struct {
        std::vector<std::string> Args;
        const char* Says;
    } cases[] = {
        {{"burn", Out.File("none.iso"), "--drive", Drive("x.out")}, "none.iso» не открывается"},
        {{"burn", Out.File("song.iso"), "--drive", Drive("x.out")},
         "это не образ диска ISO 9660 (похоже на MP3)"},
        {{"burn", Out.File("noise.iso"), "--drive", Drive("x.out")},
         "noise.iso»: это не образ диска ISO 9660. "},
        {{"burn", cut, "--drive", Drive("x.out")}, "образ обрезан — в файле 20 из 40 секторов"},
        {{"burn", Out.File("empty"), "--drive", Drive("x.out")}, "в папке нет MP3 файлов"},
        {{"burn", image}, noDrive ? "остаётся на месте" : ""},
        {{"burn", image, "--drive", "/dev/velmora-no-drive"}, "не найден или занят"},
    };
    for (const auto& c : cases) {
        const TRun run = Cli(c.Args);
        SCOPED_TRACE(::testing::PrintToString(c.Args) + run.Err);
        if (!*c.Says)
            continue;  // a machine with a burner: nothing to refuse
        EXPECT_EQ(run.Status, 1);
        EXPECT_THAT(run.Err, HasSubstr(c.Says));
        EXPECT_THAT(run.Err, ::testing::Not(HasSubstr("progress")));
    }
    EXPECT_FALSE(fs::exists(Out.File("x.out")));
    EXPECT_TRUE(TmpIsEmpty());

    // A file system smaller than the folder's image: refused before the image is made.
    TempDir small;
    if (::mount("velmora-test", small.Path().c_str(), "tmpfs", 0, "size=64k") != 0)
        GTEST_SKIP() << "cannot mount a small tmpfs here: " << std::strerror(errno);
    const TRun tooSmall = Cli({"burn", Music.Path(), "--drive", "stdio:" + small.File("d.out")});
    const TRun imageTooBig = Cli({"burn", RawImage(Out, 300 * kSector, -1, "big.iso"), "--drive",
                                  "stdio:" + small.File("i.out")});
    const bool left = fs::exists(small.File("d.out")) || fs::exists(small.File("i.out"));
    ::umount(small.Path().c_str());
    for (const TRun& run : {tooSmall, imageTooBig}) {
        EXPECT_EQ(run.Status, 1);
        EXPECT_THAT(run.Err, HasSubstr("не помещается в файл (0 МБ)"));
    }
    EXPECT_FALSE(left);
    EXPECT_TRUE(TmpIsEmpty());
}

TEST_F(BurnCommands, UsageErrorsTouchNothing) {
    const std::string image = RawImage(Out, kSector);
    for (const std::vector<std::string>& args :
         std::vector<std::vector<std::string>>{{},
                                               {image, image},
                                               {image, "--speed", "0"},
                                               {image, "--speed", "53"},
                                               {image, "--speed", "x"},
                                               {image, "--speed"},
                                               {image, "--650"},
                                               {Music.Path(), "--profile", "none"},
                                               {image, "--bogus"}}) {
        std::ostringstream out, err;
        std::vector<std::string> line{"burn"};
        line.insert(line.end(), args.begin(), args.end());
        EXPECT_EQ(RunCli(AllCliCommands(), line, out, err), 2) << ::testing::PrintToString(args);
        EXPECT_THAT(err.str(), HasSubstr("velmora-cli burn: "));
        EXPECT_EQ(out.str(), "");
    }
}

// Ctrl+C on an image, SIGTERM on a folder, each once the disc is being written (paced at 4x):
// the burn is cancelled, and neither the pseudo-drive's file nor a temporary image stays.
TEST_F(BurnCommands, ASignalMidwayCancelsAndLeavesNothingBehind) {
    const std::string image = RawImage(Out, 1000 * kSector);
    for (const auto& [target, sig] : {std::pair{image, SIGINT}, {Music.Path(), SIGTERM}}) {
        const int signal = sig;  // a lambda may not take a structured binding
        bool sent = false;
        const TRun run = Cli({"burn", target, "--drive", Drive("c.out"), "--speed", "4"},
                             [&](const std::string& line, pid_t pid) {
                                 if (!sent && line.starts_with("progress\twrite\t"))
                                     sent = ::kill(pid, signal) == 0;
                             });
        SCOPED_TRACE(target + ": " + run.Err);
        EXPECT_TRUE(sent);
        EXPECT_EQ(run.Status, 1);
        EXPECT_THAT(run.Err, HasSubstr("velmora-cli: Запись отменена."));
        EXPECT_FALSE(fs::exists(Out.File("c.out")));
        EXPECT_TRUE(TmpIsEmpty());
    }
}

// ---- The window's command, with a scripted user ----

class BurnFromWindow : public BurnCommands {
  protected:
    // The image dialog's answer: m.iso.
    struct TPort : TScriptedPort {
        std::string Image;
        std::optional<TImageTarget> AskImageFile(const std::string&) override {
            return TImageTarget{Image, false};
        }
    } Port;
    TMainModel Model{Port};
    std::string OldTmp;
    void SetUp() override {
        BurnCommands::SetUp();
        OldTmp = std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "";
        ::setenv("TMPDIR", Tmp.Path().c_str(), 1);
        Port.Image = Out.File("m.iso");
        Model.FormCreate();
        Port.FolderAnswers.push_back(Music.Path());
        Model.Run([&] { Model.FileMenuAddDirClick(); });
    }
    void TearDown() override { ::setenv("TMPDIR", OldTmp.c_str(), 1); }
    // The burn dialog's answer: the pseudo-drive at a speed of the list (1: 4x, 3: 16x).
    void Choose(const std::string& name, int speedIndex) {
        Port.OnBurnSetup = [this, name, speedIndex](TBurnSetup& setup) {
            setup.AddDrive(Drive(name));
            setup.SelectSpeed(speedIndex);
            return setup.CanBurn;
        };
    }
};

TEST_F(BurnFromWindow, TheFolderIsBurntWhileNoOtherCommandStarts) {
    EnableBurning(Model);
    Choose("w.out", 3);
    int refused = 0;
    Port.OnProgress = [&](const TProgress&) {
        bool ran = false;
        Model.Run([&] { ran = true; });
        refused += !ran;
        return true;
    };
    Model.Run([&] { Model.ConvertMenuBurnClick(); });
    ASSERT_EQ(Port.Errors, std::vector<std::string>{});
    EXPECT_THAT(Port.Messages.back(), HasSubstr("Диск записан и проверен"));
    EXPECT_EQ(refused, static_cast<int>(Port.Steps.size()));
    EXPECT_EQ(Port.ProgressShown, 0);
    std::set<std::string> steps;
    for (const TProgress& s : Port.Steps)
        steps.insert(s.Key);
    EXPECT_TRUE(steps.count("image") && steps.count("write"));
    EXPECT_TRUE(IsoinfoReadsBack(Out.File("w.out"), "D001/01_a.mp3", Music.File("D001/01_a.mp3")));
    EXPECT_TRUE(TmpIsEmpty());
}

// Yes to burning the image just written, No to the first "Отмена", Yes to the second.
TEST_F(BurnFromWindow, AWrittenImageIsOfferedAndACancelIsAskedFirst) {
    EnableBurning(Model);
    Choose("m.out", 1);
    Port.YesNoAnswers = {true, false, true};
    int writing = 0;
    Port.OnProgress = [&](const TProgress& s) { return s.Key != "write" || ++writing % 5 != 0; };
    Model.Run([&] { Model.ConvertMenuDiscImageClick(); });
    ASSERT_EQ(Port.Questions.size(), 3u);
    EXPECT_EQ(Port.Questions[0], "Образ диска записан: " + Port.Image + "\rЗаписать его на диск?");
    EXPECT_EQ(Port.Questions[1], "Отменить запись?");
    EXPECT_EQ(Port.Messages, std::vector<std::string>{"Запись отменена."});
    EXPECT_FALSE(fs::exists(Out.File("m.out")));
    EXPECT_TRUE(fs::exists(Port.Image));  // the image stays
}

}  // namespace
}  // namespace velmora::test

// Burning: the checks before anything is written (on media described by hand), and burns onto
// libburn's pseudo-drives (files): byte for byte, read back, refused, cancelled, failing, dummy.
#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <thread>

#include "core/burn/Burn.h"
#include "core/disc/IsoImage.h"
#include "tools/Mp3Builder.h"

namespace velmora::test {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;

constexpr int64_t kSector = 2048;

// An image of `bytes` bytes whose every sector differs from the others.
std::string RawImage(const TempDir& dir, const std::string& name, int64_t bytes) {
    std::string data(static_cast<size_t>(bytes), '\0');
    for (int64_t i = 0; i < bytes; ++i)
        data[static_cast<size_t>(i)] = static_cast<char>((i / kSector * 7 + i) & 0xff);
    WriteFile(dir.File(name), data);
    return dir.File(name);
}

// An ISO 9660 image of three files, made the way the program makes one.
std::string SmallIso(const TempDir& dir) {
    TIsoLayout layout;
    layout.VolumeId = "BURN_TEST";
    layout.Folders = {{"D001", "D001"}};
    for (int i = 0; i < 3; ++i) {
        const std::string name = "0" + std::to_string(i + 1) + "_song.mp3";
        const size_t size = 100000 + static_cast<size_t>(i) * 777;
        WriteFile(dir.File(name), std::string(size, static_cast<char>('a' + i)));
        TIsoLayout::TFile file{
            dir.File(name),  name, name, "0" + std::to_string(i + 1) + "_SONG.MP3",
            i == 0 ? -1 : 0, {}};
        file.Identity.Size = static_cast<int64_t>(size);
        layout.Files.push_back(file);
    }
    const std::string iso = dir.File("disc.iso");
    const int fd = ::open(iso.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    bool cancelled = false;
    EXPECT_EQ(WriteIsoImage(layout, fd, RealSysCalls(), nullptr, cancelled), "");
    ::close(fd);
    return iso;
}

// Bytes of the file padded with zeros to whole sectors, as a track holds them.
std::vector<uint8_t> Padded(const std::string& path) {
    std::vector<uint8_t> bytes = ReadFile(path);
    bytes.resize((bytes.size() + kSector - 1) / kSector * kSector, 0);
    return bytes;
}

TMediumInfo Medium(TMediumKind kind, TMediumState state, int64_t capacity) {
    TMediumInfo m;
    m.Kind = kind;
    m.State = state;
    m.CapacitySectors = capacity;
    m.Erasable = kind == TMediumKind::CdRw;
    m.DummySupported = true;
    m.Profile = kind == TMediumKind::NotCd ? "DVD+RW" : "";
    m.StateText = "Файл /x/disc.iso уже есть и не пуст";
    return m;
}

TEST(BurnNames, DrivesAndPseudoDrives) {
    EXPECT_EQ(BurnDriveDisplayName("HL-DT-ST", "DVDRAM GH24NSD1 ", "/dev/sr0"),
              "HL-DT-ST DVDRAM GH24NSD1 (/dev/sr0)");
    EXPECT_EQ(BurnDriveDisplayName("  ASUS  ", "", "/dev/sr1"), "ASUS (/dev/sr1)");
    EXPECT_EQ(BurnDriveDisplayName("", "  ", "/dev/sr2"), "Привод (/dev/sr2)");
    EXPECT_TRUE(IsPseudoDrive("stdio:/tmp/a.iso"));
    EXPECT_FALSE(IsPseudoDrive("/dev/sr0"));
    EXPECT_FALSE(IsPseudoDrive("STDIO:/tmp/a.iso"));
    EXPECT_NEAR(CdSpeedX(16 * 153600.0), 16.0, 1e-9);
}

TEST(BurnCheck, OnlyABlankCdLargeEnoughIsWritten) {
    using K = TMediumKind;
    using S = TMediumState;
    const struct {
        K Kind;
        S State;
        int64_t Capacity, Image;
        bool BlankAllowed, Dummy, DummySupported;
        bool Ok, NeedsBlanking, WillBlank;
        const char* Says;  // part of the refusal
    } cases[] = {
        {K::CdR, S::Blank, 360000, 360000, false, false, true, true, false, false, ""},
        {K::CdR, S::Blank, 360000, 360001, false, false, true, false, false, false,
         "(704 МБ) не помещается на диск (703 МБ)"},
        {K::CdR, S::Blank, 299, 1, false, false, true, false, false, false,
         "не помещается"},  // 300 at least
        {K::CdR, S::Blank, 300, 1, false, false, true, true, false, false, ""},
        {K::CdR, S::Blank, 1000, 0, false, false, true, false, false, false, "Образ пуст"},
        {K::None, S::NoDisc, 0, 10, false, false, true, false, false, false,
         "нет диска. Вставьте чистый диск CD-R или CD-RW."},
        {K::CdRom, S::Full, 0, 10, true, false, true, false, false, false,
         "CD-ROM записать нельзя"},
        {K::NotCd, S::Blank, 2000000, 10, false, false, true, false, false, false,
         "не CD, а DVD+RW"},
        {K::CdR, S::Appendable, 100000, 10, true, false, true, false, false, false,
         "уже есть данные"},
        {K::CdR, S::Full, 0, 10, true, false, true, false, false, false, "Вставьте чистый диск"},
        {K::CdR, S::Unusable, 0, 10, true, false, true, false, false, false, "не распознан"},
        {K::CdRw, S::Full, 359846, 10, false, false, true, false, true, false, "нужно очистить"},
        {K::CdRw, S::Full, 359846, 10, true, false, true, true, false, true, ""},
        {K::CdRw, S::Full, 0, 10, true, false, true, true, false, true, ""},  // size known later
        {K::CdRw, S::Full, 1000, 1001, true, false, true, false, false, false, "не помещается"},
        {K::CdRw, S::Full, 359846, 10, true, true, true, false, false, false, "только на чистый"},
        {K::CdR, S::Blank, 1000, 10, false, true, false, false, false, false, "не умеет пробную"},
        {K::CdR, S::Blank, 1000, 10, false, true, true, true, false, false, ""},
        {K::PseudoDrive, S::Blank, 1000, 1000, false, false, true, true, false, false, ""},
        {K::PseudoDrive, S::Blank, 1000, 1001, false, false, true, false, false, false,
         "не помещается в файл"},
        {K::PseudoDrive, S::Full, 1000, 10, true, false, true, false, false, false,
         "/x/disc.iso уже есть и не пуст"},
    };
    for (const auto& c : cases) {
        TMediumInfo m = Medium(c.Kind, c.State, c.Capacity);
        m.DummySupported = c.DummySupported;
        const TBurnCheck check = CheckBurn(m, c.Image, c.BlankAllowed, c.Dummy);
        SCOPED_TRACE(std::to_string(static_cast<int>(c.Kind)) + "/" +
                     std::to_string(static_cast<int>(c.State)) + " " + std::to_string(c.Image) +
                     " " + check.Message);
        EXPECT_EQ(check.Ok, c.Ok);
        EXPECT_EQ(check.NeedsBlanking, c.NeedsBlanking);
        EXPECT_EQ(check.WillBlank, c.WillBlank);
        EXPECT_EQ(check.Message.empty(), c.Ok);
        EXPECT_THAT(check.Message, HasSubstr(c.Says));
    }
    TMediumInfo failed;
    failed.Error = "Привод /dev/sr7 не найден";
    EXPECT_EQ(CheckBurn(failed, 10, true).Message, failed.Error);
}

TEST(BurnImageFile, SizesInWholeSectorsAndClearRefusals) {
    TempDir dir;
    fs::create_directory(dir.File("folder"));
    const struct {
        int64_t Bytes;  // -1: no file
        const char* Name;
        int64_t Sectors;
        const char* Says;
    } cases[] = {
        {-1, "none.iso", 0, "не найден"}, {0, "empty.iso", 0, "пуст"},
        {-1, "folder", 0, "не файл"},     {1, "one.iso", 1, ""},
        {2048, "s1.iso", 1, ""},          {2049, "s2.iso", 2, ""},
    };
    for (const auto& c : cases) {
        if (c.Bytes >= 0)
            RawImage(dir, c.Name, c.Bytes);
        std::string error;
        EXPECT_EQ(ImageSectors(dir.File(c.Name), error), c.Sectors) << c.Name;
        EXPECT_THAT(error, HasSubstr(c.Says));
        if (c.Sectors == 0) {
            EXPECT_THAT(error, HasSubstr(dir.File(c.Name)));
        }
    }
}

TEST(BurnDrives, TheListOrAClearMessage) {
    std::string error;
    const std::vector<TBurnDrive> drives = FindDrives(error);
    if (drives.empty()) {
        EXPECT_THAT(error, HasSubstr("Подключите"));
    }
    for (const TBurnDrive& d : drives)
        EXPECT_THAT(d.DisplayName, HasSubstr("(" + d.Address + ")"));
}

TEST(BurnMedium, APseudoDriveIsABlankCdOnlyWhenItsFileIsNewOrEmpty) {
    TempDir dir;
    WriteFile(dir.File("empty.iso"), "");
    WriteFile(dir.File("full.iso"), "data");
    const struct {
        std::string Address;
        int64_t Capacity;
        TMediumState State;
        const char* Says;
    } cases[] = {
        {"stdio:" + dir.File("new.iso"), 0, TMediumState::Blank, "Файл вместо диска"},
        {"stdio:" + dir.File("new.iso"), 1000, TMediumState::Blank, "места 1 МБ"},
        {"stdio:" + dir.File("empty.iso"), 0, TMediumState::Blank, ""},
        {"stdio:" + dir.File("full.iso"), 0, TMediumState::Full, "уже есть и не пуст"},
        {"stdio:" + dir.Path(), 0, TMediumState::Unusable, "не файл"},
    };
    for (const auto& c : cases) {
        const TMediumInfo m = InspectMedium(c.Address, c.Capacity);
        SCOPED_TRACE(c.Address);
        EXPECT_EQ(m.Error, "");
        EXPECT_EQ(m.Kind, TMediumKind::PseudoDrive);
        EXPECT_EQ(m.State, c.State);
        EXPECT_TRUE(m.DummySupported);
        EXPECT_THAT(m.StateText, HasSubstr(c.Says));
        if (c.State == TMediumState::Blank) {
            EXPECT_EQ(m.CapacitySectors > 0 && (c.Capacity == 0 || m.CapacitySectors == c.Capacity),
                      true);
        }
    }
    EXPECT_FALSE(fs::exists(dir.File("new.iso")));  // looking writes nothing
    EXPECT_EQ(ReadFile(dir.File("full.iso")).size(), 4u);
    EXPECT_THAT(InspectMedium("stdio:" + dir.File("no/new.iso")).Error,
                HasSubstr("no/new.iso нельзя открыть вместо диска. Укажите новый файл"));
    const TMediumInfo none = InspectMedium("/dev/velmora-no-drive");
    EXPECT_THAT(none.Error, HasSubstr("/dev/velmora-no-drive не найден"));
}

class BurnTest : public ::testing::Test {
  protected:
    TempDir Dir;
    std::vector<TBurnProgress> Seen;
    TBurnProgressFn Record = [this](const TBurnProgress& p) {
        Seen.push_back(p);
        return true;
    };
    TBurnOptions To(const std::string& name) {
        TBurnOptions o;
        o.Address = "stdio:" + Dir.File(name);
        return o;
    }
};

TEST_F(BurnTest, TheDiscHoldsTheImageByteForByteAndIsReadBack) {
    for (const std::string& image : {SmallIso(Dir), RawImage(Dir, "odd.img", 700 * kSector + 5)}) {
        Seen.clear();
        TBurnOptions options = To(fs::path(image).stem().string() + ".out");
        options.Eject = image.ends_with(".img");  // nothing to eject from a file
        const TBurnResult r = BurnImage(image, options, Record);
        SCOPED_TRACE(image + ": " + r.Message);
        ASSERT_TRUE(r.Ok);
        EXPECT_TRUE(r.Written);
        EXPECT_EQ(r.WriteMode, "SAO");
        EXPECT_EQ(r.Message, "Диск записан и проверен.");
        std::vector<uint8_t> written = ReadFile(options.Address.substr(6));
        const std::vector<uint8_t> expected = Padded(image);
        EXPECT_EQ(r.Verify.Sectors, static_cast<int64_t>(expected.size()) / kSector);
        ASSERT_GE(written.size(), expected.size());
        EXPECT_TRUE(std::all_of(written.begin() + static_cast<ptrdiff_t>(expected.size()),
                                written.end(), [](uint8_t b) { return b == 0; }));
        written.resize(expected.size());
        EXPECT_TRUE(written == expected);
        // Writing comes before verifying, and neither goes backwards or past its total.
        ASSERT_FALSE(Seen.empty());
        EXPECT_EQ(Seen.back().Phase, TBurnPhase::Verifying);
        for (size_t i = 1; i < Seen.size(); ++i) {
            EXPECT_LE(Seen[i].Done, Seen[i].Total);
            EXPECT_GE(static_cast<int>(Seen[i].Phase), static_cast<int>(Seen[i - 1].Phase));
            if (Seen[i].Phase == Seen[i - 1].Phase) {
                EXPECT_GE(Seen[i].Done, Seen[i - 1].Done);
            }
        }
        EXPECT_TRUE(VerifyBurn(options.Address, image, nullptr).Ok);
    }
}

TEST_F(BurnTest, VerifyNamesTheFirstSectorThatDiffersOrIsMissing) {
    const std::string image = RawImage(Dir, "a.img", 400 * kSector);
    const struct {
        int64_t Changed;    // a byte changed in this sector
        int64_t At;         // at this offset in the sector
        int64_t Truncated;  // the file cut to this many bytes (-1: not cut)
        int64_t Bad;
        const char* Says;
    } cases[] = {
        {0, 1000, -1, 0, "сектор 0 не совпадает"},
        {37, 0, -1, 37, "сектор 37 не совпадает"},
        {38, kSector - 1, -1, 38, "сектор 38 не совпадает"},
        {399, kSector - 1, -1, 399, "сектор 399 не совпадает"},
        {-1, 0, 33 * kSector, 33, "сектор 33 не читается"},
        {-1, 0, 33 * kSector + 1000, 33, "сектор 33 не читается"},
        {-1, 0, 1, 0, "сектор 0 не читается"},
        {50, 0, 33 * kSector, 33, "сектор 33 не читается"},
    };
    int n = 0;
    for (const auto& c : cases) {
        TBurnOptions options = To("disc" + std::to_string(n++) + ".out");
        options.Verify = false;
        ASSERT_TRUE(BurnImage(image, options, nullptr).Ok);
        const std::string out = options.Address.substr(6);
        const int fd = ::open(out.c_str(), O_RDWR | O_CLOEXEC);
        if (c.Changed >= 0) {
            char byte = 0;
            ASSERT_EQ(::pread(fd, &byte, 1, c.Changed * kSector + c.At), 1);
            byte = static_cast<char>(byte ^ 0x40);
            ASSERT_EQ(::pwrite(fd, &byte, 1, c.Changed * kSector + c.At), 1);
        }
        if (c.Truncated >= 0) {
            ASSERT_EQ(::ftruncate(fd, c.Truncated), 0);
        }
        ::close(fd);
        const TVerifyResult v = VerifyBurn(options.Address, image, nullptr);
        EXPECT_FALSE(v.Ok);
        EXPECT_EQ(v.FirstBadSector, c.Bad);
        EXPECT_THAT(v.Message, HasSubstr(c.Says));
    }
    EXPECT_THAT(VerifyBurn("stdio:" + Dir.File("none.out"), image, nullptr).Message,
                HasSubstr("проверять нечего"));
}

TEST_F(BurnTest, RefusalsComeBeforeAnythingIsWritten) {
    const std::string image = RawImage(Dir, "a.img", 400 * kSector);
    WriteFile(Dir.File("full.out"), "keep me");
    const struct {
        std::string Image, Address;
        int64_t Capacity;
        const char* Says;
    } cases[] = {
        {image, "stdio:" + Dir.File("small.out"), 399, "(1 МБ) не помещается в файл (0 МБ)"},
        {image, "stdio:" + Dir.File("full.out"), 0, "уже есть и не пуст"},
        {image, "stdio:" + Dir.File("no/x.out"), 0, "Укажите новый файл"},
        {image, "/dev/velmora-no-drive", 0, "не найден или занят"},
        {Dir.File("none.img"), "stdio:" + Dir.File("x.out"), 0, "none.img не найден"},
    };
    for (const auto& c : cases) {
        TBurnOptions options;
        options.Address = c.Address;
        options.PseudoCapacitySectors = c.Capacity;
        const TBurnResult r = BurnImage(c.Image, options, Record);
        EXPECT_FALSE(r.Ok);
        EXPECT_FALSE(r.Written);
        EXPECT_THAT(r.Message, HasSubstr(c.Says));
    }
    EXPECT_TRUE(Seen.empty());
    EXPECT_FALSE(fs::exists(Dir.File("small.out")));
    EXPECT_FALSE(fs::exists(Dir.File("x.out")));
    EXPECT_EQ(ReadFile(Dir.File("full.out")).size(), 7u);
}

TEST_F(BurnTest, CancelAndDummyLeaveTheFileAsTheyFoundIt) {
    // Large and sparse: the write is still going when the cancel comes.
    const std::string big = Dir.File("big.img");
    const int fd = ::open(big.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    ASSERT_EQ(::ftruncate(fd, 64 << 20), 0);
    ::close(fd);
    WriteFile(Dir.File("empty.out"), "");
    const struct {
        const char* Name;
        bool Dummy;
        bool Exists;  // afterwards: the file was there, empty, before
        const char* Says;
    } cases[] = {
        {"new.out", false, false, "Запись отменена."},
        {"empty.out", false, true, "Запись отменена."},
        {"new.out", true, false, "Пробная запись прошла успешно"},
        {"empty.out", true, true, "Пробная запись прошла успешно"},
    };
    for (const auto& c : cases) {
        TBurnOptions options = To(c.Name);
        options.Dummy = c.Dummy;
        options.SpeedX = c.Dummy ? 0 : 4;  // 64 MB at 4x would take more than a minute
        int calls = 0;
        const TBurnResult r = BurnImage(big, options, [&](const TBurnProgress& p) {
            ++calls;
            return c.Dummy || p.Phase != TBurnPhase::Writing;
        });
        SCOPED_TRACE(std::string(c.Name) + ": " + r.Message);
        EXPECT_EQ(r.Ok, c.Dummy);
        EXPECT_EQ(r.Cancelled, !c.Dummy);
        if (!c.Dummy) {
            EXPECT_LT(r.WrittenBytes, 8 << 20);  // the drive stopped: the disc was not written on
        }
        EXPECT_FALSE(c.Dummy && r.Written);
        EXPECT_GT(calls, 0);
        EXPECT_THAT(r.Message, HasSubstr(c.Says));
        EXPECT_EQ(fs::exists(Dir.File(c.Name)), c.Exists);
        if (c.Exists) {
            EXPECT_EQ(fs::file_size(Dir.File(c.Name)), 0u);
        }
    }
}

TEST_F(BurnTest, TwoBurnsAtOnceTakeTurns) {
    const std::string image = RawImage(Dir, "a.img", 500 * kSector);
    TBurnResult a, b;
    std::thread first([&] { a = BurnImage(image, To("a.out"), nullptr); });
    b = BurnImage(image, To("b.out"), nullptr);
    first.join();
    EXPECT_TRUE(a.Ok) << a.Message;
    EXPECT_TRUE(b.Ok) << b.Message;
}

// A small tmpfs is a medium that is too small, or, said to be a whole CD, one that fills up
// midway: the write ends with a message and leaves nothing behind.
TEST_F(BurnTest, ASmallFileSystemIsRefusedOrFailsWithAMessage) {
    TempDir small;
    if (::mount("velmora-test", small.Path().c_str(), "tmpfs", 0, "size=256k") != 0)
        GTEST_SKIP() << "cannot mount a small tmpfs here: " << std::strerror(errno);
    const std::string image = RawImage(Dir, "a.img", 400 * kSector);
    TBurnOptions options;
    options.Address = "stdio:" + small.File("disc.out");
    const TBurnResult refused = BurnImage(image, options, nullptr);
    options.PseudoCapacitySectors = 360000;
    const TBurnResult failed = BurnImage(image, options, nullptr);
    const bool left = fs::exists(small.File("disc.out"));
    ::umount(small.Path().c_str());
    EXPECT_FALSE(refused.Written);
    EXPECT_THAT(refused.Message, HasSubstr("не помещается в файл (0 МБ)"));
    EXPECT_FALSE(failed.Ok);
    EXPECT_TRUE(failed.Written);
    EXPECT_THAT(failed.Message, HasSubstr("disc.out не удалась. Причина:"));
    EXPECT_FALSE(left);
}

}  // namespace
}  // namespace velmora::test

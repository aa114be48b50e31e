// The burn dialog's model over stand-in drives, the progress texts at their edges, and the
// temporary image's folder.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <limits>

#include "core/burn/BurnJob.h"
#include "core/burn/BurnSetup.h"
#include "tests/support/BurnStandIns.h"
#include "tools/Mp3Builder.h"

namespace velmora::test {
namespace {

using ::testing::HasSubstr;
namespace fs = std::filesystem;

TMediumInfo Disc(TMediumKind kind, TMediumState state, std::vector<int> speeds = {},
                 bool dummy = true) {
    return StandInDisc(kind, state, std::move(speeds), "state", dummy);
}

TEST(BurnSetup, TheDialogOffersWhatTheDriveAndTheMediumAllow) {
    using K = TMediumKind;
    using S = TMediumState;
    const struct {
        TMediumInfo Medium;
        int64_t Image;
        std::vector<std::string> Speeds;
        bool CanBurn, Blanks, DummyEnabled;
        const char* Says;
    } cases[] = {
        {Disc(K::CdR, S::Blank, {4, 16, 24}), 1000, {"4x", "16x"}, true, false, true, "закрыт"},
        {Disc(K::CdR, S::Blank, {24, 48}), 360000, {"24x"}, true, false, true, "(704 МБ)"},
        {Disc(K::CdR, S::Blank), 360001, {"4x", "8x", "16x"}, false, false, true, "не помещается"},
        {Disc(K::CdRw, S::Full, {10}, false), 1000, {"10x"}, true, true, false, "будет очищен"},
        {Disc(K::CdR, S::Full), 1000, {"4x", "8x", "16x"}, false, false, true, "уже есть данные"},
    };
    for (const auto& c : cases) {
        TBurnStandIns drives;
        drives.Media[0] = c.Medium;
        TBurnSetup setup("image", c.Image, drives.Sources());
        setup.Refresh();
        SCOPED_TRACE(setup.Verdict);
        EXPECT_EQ(std::vector<std::string>(setup.SpeedItems.begin() + 1, setup.SpeedItems.end()),
                  c.Speeds);  // after the drive's own choice
        EXPECT_EQ(setup.CanBurn, c.CanBurn);
        EXPECT_EQ(setup.NeedsBlanking(), c.Blanks);
        EXPECT_EQ(setup.DummyEnabled, c.DummyEnabled);
        EXPECT_THAT(setup.Verdict, HasSubstr(c.Says));
        setup.SetDummy(true);
        EXPECT_EQ(setup.Dummy, c.DummyEnabled);
        EXPECT_FALSE(setup.Options().Blank);  // the model asks before it blanks
    }
}

TEST(BurnSetup, ARefreshKeepsTheChosenDriveAndSpeedWhileTheyAreThere) {
    TBurnStandIns drives;
    drives.Media[0] = Disc(TMediumKind::CdR, TMediumState::Blank, {8, 16});
    drives.Media[1] = Disc(TMediumKind::CdR, TMediumState::Blank, {4, 16});
    TBurnSetup setup("image", 1000, drives.Sources());
    EXPECT_FALSE(setup.CanBurn);  // nothing looked for yet
    setup.Refresh();
    setup.SelectDrive(1);
    setup.SelectSpeed(2);  // 16x
    setup.Refresh();
    EXPECT_EQ(setup.Options().Address, "/dev/sr1");
    EXPECT_EQ(setup.Options().SpeedX, 16);
    drives.Media[1] = Disc(TMediumKind::CdR, TMediumState::Blank, {4, 8});
    setup.Refresh();
    EXPECT_EQ(setup.Options().SpeedX, 0);  // 16x is gone: the drive's own choice

    drives.Media[1].Error = "Привод /dev/sr1 не найден";
    setup.Refresh();
    EXPECT_EQ(setup.MediumText, "Привод /dev/sr1 не найден");
    EXPECT_FALSE(setup.CanBurn);
    drives.HasDrives = false;
    setup.AddDrive("stdio:/tmp/x.iso");  // stays through later refreshes
    setup.Refresh();
    EXPECT_EQ(setup.Drives.size(), 1u);
    EXPECT_EQ(setup.Drives[0].DisplayName, "Файл вместо диска (/tmp/x.iso)");
}

TEST(BurnTexts, ProgressAtItsEdges) {
    const std::pair<double, const char*> times[] = {{-1, ""},
                                                    {0, "осталось 0:00"},
                                                    {59.01, "осталось 1:00"},
                                                    {3599.5, "осталось 1:00:00"},
                                                    {std::numeric_limits<double>::infinity(), ""}};
    for (const auto& [seconds, text] : times)
        EXPECT_EQ(TimeLeftText(seconds), text) << seconds;
    EXPECT_EQ(BurnProgressOf({TBurnPhase::Writing, 5, 4, 153600, 0}, TMediumKind::CdR).Percent(),
              100);  // part sector
    EXPECT_EQ(ImageProgressOf(1, 0).Percent(), 0);
    EXPECT_THAT(CancelQuestion(TBurnStep::Writing, TMediumKind::CdR), HasSubstr("CD-R"));
}

TEST(BurnTemporaryImage, ItsFolderGoesWithEverythingInItOrSaysWhyNot) {
    TempDir tmp;
    const char* old = std::getenv("TMPDIR");
    const std::string saved = old ? old : "";
    ::setenv("TMPDIR", tmp.Path().c_str(), 1);
    {
        TTemporaryImage image;
        ASSERT_EQ(image.Error(), "");
        EXPECT_EQ(fs::path(image.Path()).parent_path().parent_path(), tmp.Path());
        WriteFile(image.Path(), "image");
        EXPECT_EQ(image.CheckRoom(1), "");
        EXPECT_THAT(image.CheckRoom(int64_t{1} << 40),
                    HasSubstr("во временной папке " + tmp.Path() + ", а свободно"));
    }
    EXPECT_TRUE(fs::is_empty(tmp.Path()));
    ::setenv("TMPDIR", tmp.File("none").c_str(), 1);
    TTemporaryImage missing;
    EXPECT_THAT(missing.Error(), HasSubstr(tmp.File("none") + ": No such file"));
    EXPECT_EQ(missing.Path(), "");
    ::setenv("TMPDIR", saved.c_str(), 1);
}

}  // namespace
}  // namespace velmora::test

// What the settings dialog takes back, the paths its folder choosers make, the ID edit's
// integers, and the name offered for a copy of the dump.
#include "settings/settings_dialog_rules.h"

#include <gtest/gtest.h>

#include <climits>

#include "serial/dump_copy.h"

namespace korvalen {
namespace {

TEST(SettingsDialog, TakesBackTheTenValuesAndNothingElse) {
    Settings settings;
    settings.COM = 3;
    settings.WriteCsvC = true;
    Settings edited;
    edited.UseGlobalID = true;
    edited.GlobalID = 17;
    edited.IndInNum = 2;
    edited.IndInStatus = 1;
    edited.IndInChk = true;
    edited.MultiStart = false;
    edited.MinTray = true;
    edited.InboxDir = R"(D:\Out)";
    edited.InFile = R"(D:\Data\Korvalen.trc)";
    edited.Use2D = true;
    edited.COM = 5;            // the port dialog's, not this one's
    edited.WriteCsvC = false;  // fixed

    TakeDialogSettings(settings, edited);
    Settings expected = edited;
    expected.InboxDir = R"(D:\Out\)";
    expected.COM = 3;
    expected.WriteCsvC = true;
    EXPECT_EQ(settings, expected);

    edited.InboxDir = "";  // an empty folder stays empty
    TakeDialogSettings(settings, edited);
    EXPECT_EQ(settings.InboxDir, "");
}

TEST(SettingsDialog, FolderPaths) {
    EXPECT_EQ(WithTrailingBackslash(R"(D:\Out)"), R"(D:\Out\)");
    EXPECT_EQ(WithTrailingBackslash(R"(D:\)"), R"(D:\)");
    EXPECT_EQ(DumpFileInFolder(R"(D:\Data)"), R"(D:\Data\Korvalen.trc)");
    EXPECT_EQ(DumpFileInFolder(R"(D:\)"), R"(D:\Korvalen.trc)");
    EXPECT_EQ(FolderOfFile(R"(D:\Tools\Data\Korvalen.trc)"), R"(D:\Tools\Data)");
    EXPECT_EQ(FolderOfFile(R"(D:\Korvalen.trc)"), R"(D:\)");
    EXPECT_EQ(FolderOfFile("Korvalen.trc"), "");
}

TEST(SettingsDialog, EditIntegers) {
    const struct {
        const char* text;
        std::optional<int> value;
    } cases[] = {
        {"0", 0},
        {"0042", 42},
        {"9999", 9999},
        {" 7", 7},
        {"-5", -5},
        {"+5", 5},
        {"12ab", 12},
        {"", std::nullopt},
        {" ", std::nullopt},
        {"ab", std::nullopt},
        {"-", std::nullopt},
        {"2147483648", std::nullopt},
        {"-2147483648", INT_MIN},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ParseEditInteger(c.text), c.value) << '"' << c.text << '"';
}

TEST(DumpCopy, NameFromTheLocalDateAndTheCounter) {
    const CalendarTime date{.year = 2026, .month = 3, .day = 7};
    EXPECT_EQ(DumpCopyName(date, 0), "20260307");
    EXPECT_EQ(DumpCopyName(date, 1), "20260307_1");
    EXPECT_EQ(DumpCopyName(date, 12), "20260307_12");
}

}  // namespace
}  // namespace korvalen

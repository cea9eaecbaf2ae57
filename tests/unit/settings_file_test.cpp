// The settings file written byte for byte and read back by its line rules; the program folder.
#include "settings/settings_file.h"

#include <gtest/gtest.h>

#include "settings/settings.h"

namespace korvalen {
namespace {

Settings Defaults() {
    Settings s;
    ApplyDefaults(s, "D:\\Tools");
    return s;
}

Settings Loaded(std::string_view bytes) {
    Settings s = Defaults();
    ParseSettingsFile(bytes, s);
    return s;
}

TEST(SettingsFile, DefaultsOfAProgramInDToolsByteForByte) {
    const std::string expected =
        "UseGlobalID0\r\n"
        "GlobalID9999\r\n"
        "COM1\r\n"
        "InFileD:\\Tools\\Data\\Korvalen.trc\r\n"
        "InboxDirD:\\Tools\\InBox\\\r\n"
        "Use2D0\r\n"
        "MultiStart1\r\n"
        "MinTray0\r\n"
        "IndInNum0\r\n"
        "IndInStatus0\r\n"
        "IndInChk0\r\n";
    EXPECT_EQ(FormatSettingsFile(Defaults()), expected);
}

TEST(SettingsFile, PathsAreWrittenInWindows1251) {
    Settings s = Defaults();
    s.InboxDir = "D:\\Диспетчер\\InBox\\";
    const std::string file = FormatSettingsFile(s);
    EXPECT_NE(file.find("InboxDirD:\\\xC4\xE8\xF1\xEF\xE5\xF2\xF7\xE5\xF0\\InBox\\\r\n"),
              std::string::npos);
    EXPECT_EQ(Loaded(file).InboxDir, s.InboxDir);
}

TEST(SettingsFile, WhatItWritesItReadsBack) {
    Settings s = Defaults();
    s.UseGlobalID = true;
    s.GlobalID = 42;
    s.COM = 5;
    s.InFile = "E:\\dump.trc";
    s.Use2D = true;
    s.MultiStart = false;
    s.MinTray = true;
    s.IndInNum = 2;
    s.IndInStatus = 1;
    s.IndInChk = true;
    EXPECT_EQ(Loaded(FormatSettingsFile(s)), s);
}

TEST(SettingsFile, LineEndsAndLineRules) {
    // LF alone never completes a line: all defaults stay.
    EXPECT_EQ(Loaded("COM3\nGlobalID12\n"), Defaults());
    // The last line lacks CR: its value is lost, an earlier line for the key stays.
    EXPECT_EQ(Loaded("COM3\r\nCOM4").COM, 3);
    EXPECT_EQ(Loaded("COM4").COM, 1);
    // A key twice: the last one wins.
    EXPECT_EQ(Loaded("COM3\r\nCOM6\r\n").COM, 6);
    // Unknown and garbled lines are ignored; keys are case-sensitive.
    EXPECT_EQ(Loaded("com3\r\n\r\nHello\r\n=COM4\r\n"), Defaults());
}

TEST(SettingsFile, KeysMatchByPrefixInTheirOrder) {
    const Settings s = Loaded("UseGlobalID1\r\n");
    EXPECT_TRUE(s.UseGlobalID);
    EXPECT_EQ(s.GlobalID, 9999);

    const Settings path = Loaded("InFileD:\\COM\\Data\\Korvalen.trc\r\n");
    EXPECT_EQ(path.InFile, "D:\\COM\\Data\\Korvalen.trc");
    EXPECT_EQ(path.COM, 1);

    EXPECT_EQ(Loaded("InboxDir C:\\with blanks \r\n").InboxDir, " C:\\with blanks ");
}

TEST(SettingsFile, NumbersAreReadAsAtoiReadsThem) {
    EXPECT_EQ(Loaded("COMabc\r\n").COM, 0);
    EXPECT_TRUE(Loaded("MinTray2\r\n").MinTray);
    EXPECT_FALSE(Loaded("MultiStart0\r\n").MultiStart);
    EXPECT_EQ(Loaded("GlobalID0\r\n").GlobalID, 0);
    EXPECT_EQ(Loaded("GlobalID  -17x\r\n").GlobalID, -17);
    EXPECT_EQ(Loaded("GlobalID+8\r\n").GlobalID, 8);
    EXPECT_EQ(Loaded("GlobalID99999999999\r\n").GlobalID, 2147483647);
    EXPECT_EQ(Loaded("GlobalID-99999999999\r\n").GlobalID, -2147483647 - 1);
}

TEST(ProgramFolder, FromTheCommandLine) {
    EXPECT_EQ(ProgramFolderFromCommandLine("\"D:\\Tools\\Korvalen.exe\""), "D:\\Tools");
    EXPECT_EQ(ProgramFolderFromCommandLine("\"D:\\Tools\\Korvalen.exe\" "), "D:\\Tools");
    EXPECT_EQ(ProgramFolderFromCommandLine("\"C:\\Korvalen.exe\""), "C:");
    EXPECT_EQ(ProgramFolderFromCommandLine("\"D:\\Tools\\\\Korvalen.exe\""), "D:\\Tools");
    // Unquoted, as typed into a console: the drive letter stays.
    EXPECT_EQ(ProgramFolderFromCommandLine("D:\\Tools\\Korvalen.exe"), "D:\\Tools");
    // A file dropped onto the program does not move the folder.
    EXPECT_EQ(ProgramFolderFromCommandLine("\"D:\\Tools\\Korvalen.exe\" \"E:\\Dumps\\a.trc\""),
              "D:\\Tools");
    EXPECT_EQ(ProgramFolderFromCommandLine("Korvalen.exe"), "");
}

}  // namespace
}  // namespace korvalen

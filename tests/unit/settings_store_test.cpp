// Loading, saving and importing the settings: first start, hostile files, the registry,
// failed writes.
#include "settings/settings_store.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>

#include "platform/file.h"
#include "platform/write_fault.h"
#include "recording_message_sink.h"
#include "temp_folder.h"

namespace korvalen {
namespace {

using testing::RecordingMessageSink;
using testing::TempFolder;

std::string Slurp(const std::string& path) {
    std::string bytes;
    EXPECT_TRUE(ReadWholeFile(path, bytes)) << path;
    return bytes;
}

void Spit(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

// A registry holding at most the old key, with string values.
class FakeRegistry : public Registry {
  public:
    class Key : public RegistryKey {
      public:
        explicit Key(FakeRegistry& owner) : owner_(owner) {}
        std::optional<std::string> ReadString(std::string_view name,
                                              std::size_t max_chars) override {
            const auto it = owner_.values.find(std::string(name));
            if (it == owner_.values.end() || it->second.size() > max_chars)
                return std::nullopt;
            return it->second;
        }
        void DeleteValue(std::string_view name) override {
            owner_.values.erase(std::string(name));
            owner_.deleted.push_back(std::string(name));
        }

      private:
        FakeRegistry& owner_;
    };

    std::unique_ptr<RegistryKey> OpenLocalMachineKey(std::string_view path) override {
        if (!key_exists || path != kLegacyRegistryKey)
            return nullptr;
        return std::make_unique<Key>(*this);
    }
    void DeleteLocalMachineKey(std::string_view path) override {
        if (path == kLegacyRegistryKey)
            key_exists = false;
    }

    bool key_exists = true;
    std::map<std::string, std::string> values;
    std::vector<std::string> deleted;
};

TEST(SettingsStore, FirstStartWritesTheDefaults) {
    TempFolder folder;
    FakeRegistry registry;
    registry.key_exists = false;
    RecordingMessageSink messages;
    Settings s;
    LoadStartupSettings(s, folder.path(), messages, registry);

    Settings defaults;
    ApplyDefaults(defaults, folder.path());
    EXPECT_EQ(s, defaults);
    EXPECT_TRUE(messages.messages.empty());
    const std::string file = Slurp(folder / "Korvalen.ini");
    EXPECT_TRUE(file.starts_with("UseGlobalID0\r\nGlobalID9999\r\nCOM1\r\nInFile" + folder.path()));
    EXPECT_FALSE(std::filesystem::exists(folder / "Korvalen.ini.new"));
}

TEST(SettingsStore, AnExistingFileIsReadAndLeftAlone) {
    TempFolder folder;
    FakeRegistry registry;
    registry.key_exists = false;
    RecordingMessageSink messages;
    const std::string original = "COM4\r\nMinTray1\r\n";
    Spit(folder / "Korvalen.ini", original);
    Settings s;
    LoadStartupSettings(s, folder.path(), messages, registry);
    EXPECT_EQ(s.COM, 4);
    EXPECT_TRUE(s.MinTray);
    EXPECT_EQ(Slurp(folder / "Korvalen.ini"), original);
}

// Whatever the file holds, the program starts with what it can read (defaults for the
// rest), says nothing and leaves the file as it is.
TEST(SettingsStore, HostileFilesAreReadAndLeftAlone) {
    const struct {
        const char* name;
        std::string bytes;
        std::int32_t com;
    } cases[] = {
        {"garbage", "\x01\xFF\xFE<>??\r\n\r\r\n\n==COM\r\n", 1},
        {"NUL bytes around a line", std::string("\0\0\r\nCOM3\r\n\0MinTray1", 20), 3},
        {"a 100 KB line before the port", std::string(100'000, 'x') + "\r\nCOM5\r\n", 5},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempFolder folder;
        FakeRegistry registry;
        registry.key_exists = false;
        RecordingMessageSink messages;
        Spit(folder / "Korvalen.ini", c.bytes);
        Settings s;
        LoadStartupSettings(s, folder.path(), messages, registry);
        EXPECT_EQ(s.COM, c.com);
        EXPECT_EQ(s.InFile, DefaultInFile(folder.path()));
        EXPECT_TRUE(messages.messages.empty());
        EXPECT_EQ(Slurp(folder / "Korvalen.ini"), c.bytes);
    }

    // 100 MB of zeros (a sparse file): read, and left alone.
    TempFolder folder;
    const std::string path = folder / "Korvalen.ini";
    Spit(path, "");
    std::filesystem::resize_file(path, 100'000'000);
    Settings s;
    EXPECT_TRUE(LoadSettings(s, folder.path()));
    EXPECT_EQ(s.COM, 1);
    EXPECT_EQ(std::filesystem::file_size(path), 100'000'000u);
}

TEST(SettingsStore, RegistryValuesWinOverTheFileAndTheKeyGoes) {
    TempFolder folder;
    FakeRegistry registry;
    registry.values = {
        {"InboxDir", "E:\\Mail\\"}, {"InFile", ""}, {"GloabalID", "77"}, {"COM", "3"},
        {"ResetAlarm", "0"},        {"Use2D", "1"}, {"Use3D", "1"},      {"UseGloabalID", "yes"}};
    RecordingMessageSink messages;
    Spit(folder / "Korvalen.ini", "COM6\r\nMultiStart0\r\n");
    Settings s;
    LoadStartupSettings(s, folder.path(), messages, registry);

    EXPECT_EQ(s.InboxDir, "E:\\Mail\\");
    EXPECT_EQ(s.InFile, DefaultInFile(folder.path()));
    EXPECT_EQ(s.GlobalID, 77);
    EXPECT_EQ(s.COM, 3);
    EXPECT_TRUE(s.ResetAlarm);
    EXPECT_TRUE(s.Use2D);
    EXPECT_FALSE(s.UseGlobalID);  // "yes" does not begin with 1
    EXPECT_TRUE(s.MultiStart);    // the file is not read when the import happened
    EXPECT_FALSE(registry.key_exists);
    EXPECT_TRUE(registry.values.empty());
    const std::vector<std::string> order = {"InboxDir",   "InFile", "GloabalID", "COM",
                                            "ResetAlarm", "Use2D",  "Use3D",     "UseGloabalID"};
    EXPECT_EQ(registry.deleted, order);

    Settings reread;
    ASSERT_TRUE(LoadSettings(reread, folder.path()));
    EXPECT_EQ(reread, s);
}

TEST(SettingsStore, EmptyOrOversizedRegistryValuesTakeTheirDefaults) {
    TempFolder folder;
    FakeRegistry registry;
    registry.values = {{"InboxDir", std::string(128, 'x')}, {"GloabalID", ""}, {"Use2D", "01"}};
    Settings s;
    ApplyDefaults(s, folder.path());
    ASSERT_TRUE(ImportRegistrySettings(s, folder.path(), registry));
    EXPECT_EQ(s.InboxDir, DefaultInboxDir(folder.path()));
    EXPECT_EQ(s.GlobalID, 9999);
    EXPECT_EQ(s.COM, 1);
    EXPECT_FALSE(s.Use2D);
}

TEST(SettingsStore, AFailedWriteLeavesThePreviousFileIntact) {
    TempFolder folder;
    const std::string previous = "COM2\r\nGlobalID15\r\n";
    Spit(folder / "Korvalen.ini", previous);
    Settings s;
    ApplyDefaults(s, folder.path());
    RecordingMessageSink messages;
    {
        const ScopedWriteFault disk_full(folder.path(), 40);
        SaveSettings(s, folder.path(), messages);
    }
    EXPECT_EQ(Slurp(folder / "Korvalen.ini"), previous);
    EXPECT_FALSE(std::filesystem::exists(folder / "Korvalen.ini.new"));
    ASSERT_EQ(messages.messages.size(), 1u);
    EXPECT_EQ(messages.messages[0].text,
              "Ошибка записи на жесткий диск, возможно недостаточно свободного места.");
    EXPECT_EQ(messages.messages[0].caption, "Диспетчер \"Halcyra\"");
    EXPECT_EQ(messages.messages[0].icon, MessageIcon::Stop);
}

TEST(SettingsStore, AFileThatCannotBeOpenedForWritingIsReported) {
    TempFolder folder;
    const std::string missing = folder / "no such folder";
    Settings s;
    ApplyDefaults(s, missing);
    RecordingMessageSink messages;
    SaveSettings(s, missing, messages);
    ASSERT_EQ(messages.messages.size(), 1u);
#ifdef _WIN32
    const std::string code = "3";  // ERROR_PATH_NOT_FOUND
#else
    const std::string code = "2";  // ENOENT
#endif
    EXPECT_EQ(messages.messages[0].text, "Не удалось открыть файл на запись. Код ошибки: " + code +
                                             ".\n" + SettingsFilePath(missing));
}

TEST(CreatePathFolders, CreatesEveryFolderButTheLastComponent) {
    TempFolder folder;
    CreatePathFolders(folder.path() + "\\Data\\Deeper\\Korvalen.trc");
    EXPECT_TRUE(std::filesystem::is_directory(folder / "Data/Deeper"));
    EXPECT_FALSE(std::filesystem::exists(folder / "Data/Deeper/Korvalen.trc"));

    CreatePathFolders(folder.path() + "\\InBox\\");
    EXPECT_TRUE(std::filesystem::is_directory(folder / "InBox"));
    CreatePathFolders(folder.path() + "\\InBox\\");  // existing folders are no error

    std::filesystem::create_directory(folder / "Tools");
    CreateProgramFolders(folder.path() + "\\Tools");
    EXPECT_TRUE(std::filesystem::is_directory(folder / "Tools/Data"));
    EXPECT_TRUE(std::filesystem::is_directory(folder / "Tools/InBox"));
    CreateProgramFolders(folder.path() + "\\Program");
    EXPECT_FALSE(std::filesystem::exists(folder / "Program/Data"));  // the parent is missing
}

TEST(File, ASecondExclusiveOpenFails) {
    TempFolder folder;
    const std::string path = folder / "Korvalen.trc";
    File first;
    ASSERT_TRUE(first.Open(path, OpenMode::CreateOrTruncate, Sharing::Exclusive));
    first.Write("data");
    File second;
    EXPECT_FALSE(second.Open(path, OpenMode::CreateOrTruncate, Sharing::Exclusive));
    EXPECT_NE(second.error_code(), 0);
    first.Close();
    // The refused opener did not cut the file.
    EXPECT_EQ(Slurp(path), "data");
    EXPECT_TRUE(second.Open(path, OpenMode::AppendOrCreate, Sharing::Exclusive));
    second.Write("+more");
    second.Close();
    EXPECT_EQ(Slurp(path), "data+more");
}

}  // namespace
}  // namespace korvalen

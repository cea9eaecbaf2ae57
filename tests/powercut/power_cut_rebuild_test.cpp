// The rebuild on the disk: the folder after a power cut, from its copy before the run and a
// hand-made record of the run.
#include "power_cut_rebuild.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "decode_test_support.h"
#include "layer_environment.h"
#include "temp_folder.h"

namespace korvalen::powercut {
namespace {

using testing::ReadTestFile;
using testing::TempFolder;
using testing::WriteTestFile;

TEST(PowerCutRebuild, PutsBackOldContentsSyncedCopiesAndSecondNames) {
    TempFolder folder;
    const std::string root = folder / "root";
    const std::string store = folder / "store";
    std::filesystem::create_directories(root + "/D");
    std::filesystem::create_directories(store);
    WriteTestFile(root + "/D/old", "before the run");
    TakeSnapshot(root, folder / "before");
    // What the run did, as the layer records it: "old" rewritten without a sync; "new"
    // made, synced, and given a second name; "lost" made and never synced.
    WriteTestFile(root + "/D/old", "rewritten");
    WriteTestFile(store + "/" + kCopyPrefix + "1", "synced");
    const std::vector<Event> run = {
        {.kind = EventKind::Exists, .folder = true, .path = "."},
        {.kind = EventKind::Exists, .folder = true, .path = "D"},
        {.kind = EventKind::Exists, .generation = 1, .path = "D/old"},
        {.kind = EventKind::Create, .generation = 2, .path = "D/new"},
        {.kind = EventKind::Create, .generation = 3, .path = "D/lost"},
        {.kind = EventKind::FileSync, .generation = 2, .number = 1, .path = "D/new"},
        {.kind = EventKind::Link, .generation = 2, .path = "D/new", .to = "also"},
        {.kind = EventKind::FolderSync, .folder = true, .path = "D"},
        {.kind = EventKind::FolderSync, .folder = true, .path = "."},
    };
    std::ofstream(store + "/" + kEventsName) << [&] {
        std::string text;
        for (const Event& e : run)
            text += FormatEvent(e);
        return text;
    }();

    RebuildAfterPowerCut(root, folder / "before", store);

    EXPECT_EQ(ReadTestFile(root + "/D/old"), "before the run");
    EXPECT_EQ(ReadTestFile(root + "/D/new"), "synced");
    EXPECT_EQ(ReadTestFile(root + "/D/lost"), "");
    struct stat status {};
    ASSERT_EQ(::stat((root + "/also").c_str(), &status), 0);
    EXPECT_EQ(status.st_nlink, 2u) << "a second name of the same file";
}

}  // namespace
}  // namespace korvalen::powercut

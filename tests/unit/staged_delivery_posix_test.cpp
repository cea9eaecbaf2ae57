// Staged files after a crash: which leftover folders a start may sweep, and how the files
// of a committed pass are each accounted for.
#include "output/staged_delivery.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "decode_test_support.h"
#include "temp_folder.h"

namespace korvalen {
namespace {

using testing::FileNames;
using testing::ReadTestFile;
using testing::TempFolder;
using testing::WriteTestFile;

// A folder is swept only when nothing in it can be needed: nobody holds it, and it holds
// nothing but its lock, or it is a pass's without a journal (whose CSV lines go back
// first). A journalled pass's files wait for their job, whoever's journal that is.
TEST(StagingSweep, TakesOnlyWhatNoJobCanNeed) {
    TempFolder folder;
    const std::string inbox = folder / "InBox/";
    const std::string csv = inbox + "012C.csv";
    struct Row {
        const char* name;
        bool held;
        bool staged_file;
        bool csv_marks;
        bool csv_held;
        bool swept;
    } rows[] = {
        {"only its lock", false, false, false, false, true},
        {"held by a running pass", true, false, false, false, false},
        {"a journalled pass's files", false, true, false, false, false},
        {"a pass without a journal", false, true, true, false, true},
        {"its CSV file held by another program", false, true, true, true, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        std::filesystem::remove_all(inbox);
        std::filesystem::create_directories(inbox);
        WriteTestFile(csv, "earlier\r\n");
        auto pass = std::make_unique<StagedDelivery>(inbox, "job", !row.csv_marks);
        const std::string staging = pass->folder();
        ASSERT_EQ(pass->Prepare(), 0);
        if (row.csv_marks) {
            ASSERT_EQ(pass->KeepCsvMarks({{csv, 9}}), 0);
            WriteTestFile(csv, "earlier\r\nthis pass\r\n");
        }
        if (row.staged_file)
            WriteTestFile(staging + "09171052.012", "records");
        File csv_holder;
        if (row.csv_held) {
            ASSERT_TRUE(csv_holder.Open(csv, OpenMode::OpenExisting, Sharing::Exclusive));
        }
        if (!row.held)
            pass.reset();  // its program ended without finishing
        const SweepResult result = SweepStagingFolders(inbox);
        EXPECT_EQ(std::filesystem::exists(staging), !row.swept);
        EXPECT_EQ(result.removed, row.swept ? 1 : 0);
        if (row.csv_marks && !row.csv_held) {
            EXPECT_EQ(ReadTestFile(csv), "earlier\r\n");
        }
        EXPECT_EQ(result.csv_kept,
                  row.csv_held ? std::vector<std::string>{csv} : std::vector<std::string>{});
        EXPECT_EQ(std::filesystem::exists(inbox + "Korvalen.staging"), !row.swept);
    }
}

// Each file a committed pass staged is accounted for once: still staged (moved now, to the
// next second's name when its own is taken), under a second link already in the InBox
// (only unlinked), or gone from the folder (moved before, perhaps taken since). A staged
// file of another size than the one committed is not what was committed: it stays.
TEST(CommittedFiles, EachOneAccountedForOnce) {
    TempFolder folder;
    const std::string inbox = folder / "InBox/";
    const std::string staging = StagingFolderFor(inbox, "job");
    struct Row {
        const char* name;
        std::string staged;  // the staged file's contents; empty: not there
        bool linked;         // the InBox has it under a second link
        bool name_taken;     // another pass delivered a file of that name meanwhile
        std::int64_t committed_size;
        bool ok;
        std::vector<std::string> inbox;
    } rows[] = {
        {"staged", "records", false, false, 7, true, {"09171052.012"}},
        {"linked and staged", "records", true, false, 7, true, {"09171052.012"}},
        {"gone from the folder", "", false, false, 7, true, {}},
        {"its name taken", "records", false, true, 7, true, {"09171052.012", "09171053.012"}},
        {"another size", "rec", false, false, 7, false, {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        std::filesystem::remove_all(inbox);
        std::filesystem::create_directories(staging);
        if (!row.staged.empty())
            WriteTestFile(staging + "09171052.012", row.staged);
        if (row.linked) {
            ASSERT_EQ(::link((staging + "09171052.012").c_str(), (inbox + "09171052.012").c_str()),
                      0);
        }
        if (row.name_taken)
            WriteTestFile(inbox + "09171052.012", "another pass");
        const PublishResult result =
            DeliverStagedFiles(staging, inbox, {{"09171052.012", row.committed_size}});
        EXPECT_EQ(result.ok(), row.ok);
        std::vector<std::string> names = FileNames(inbox);
        std::erase(names, "Korvalen.staging");
        EXPECT_EQ(names, row.inbox);
        EXPECT_EQ(std::filesystem::exists(staging), !row.ok);
        if (row.ok && !row.staged.empty()) {
            EXPECT_EQ(ReadTestFile(inbox + row.inbox.back()), row.staged);
        }
    }
}

}  // namespace
}  // namespace korvalen

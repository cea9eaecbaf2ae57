// An output file on a nearly full disk: only whole units reach it, and it keeps failing.
#include "output/output_file.h"

#include <gtest/gtest.h>

#include <string>

#include "decode_test_support.h"
#include "platform/file.h"
#include "platform/write_fault.h"
#include "temp_folder.h"

namespace korvalen {
namespace {

using testing::ReadTestFile;
using testing::TempFolder;

TEST(OutputFile, RefusedBlockLeavesOnlyWholeUnits) {
    struct Row {
        const char* name;
        std::size_t buffer_capacity;
        std::string existing;
        std::string kept;
    };
    // Units of 40 bytes (head and text) under a limit of 100 bytes.
    const Row rows[] = {
        {"buffered, cut back to the second unit", OutputFile::kDefaultBufferCapacity, "", "AB"},
        {"written through, cut back to the second unit", 0, "", "AB"},
        {"existing contents are kept", OutputFile::kDefaultBufferCapacity, "0123456789", "AB"},
    };
    for (const Row& row : rows) {
        TempFolder folder;
        const std::string path = folder / "012N.csv";
        if (!row.existing.empty()) {
            File f;
            ASSERT_TRUE(f.Open(path, OpenMode::CreateOrTruncate, Sharing::Shared));
            f.Write(row.existing);
        }
        OutputFile file(row.buffer_capacity);
        ASSERT_TRUE(file.Open(path, OpenMode::AppendOrCreate));
        file.SeekToEnd();
        {
            const ScopedWriteFault disk_full(path, 100);
            try {
                for (char c : std::string("ABCD"))
                    file.Write(std::string(30, c), std::string(10, c));
                file.Close();
                ADD_FAILURE() << row.name << ": no error";
            } catch (const FileError& e) {
                EXPECT_EQ(e.code(), DiskFullErrorCode()) << row.name;
            }
        }
        EXPECT_FALSE(file.IsOpen()) << row.name;
        std::string expected = row.existing;
        for (char c : row.kept)
            expected += std::string(40, c);
        EXPECT_EQ(ReadTestFile(path), expected) << row.name;
    }
}

// A message file of a name already taken replaces the old file's contents.
TEST(OutputFile, CreatingCutsAnExistingFile) {
    TempFolder folder;
    const std::string path = folder / "07143005.012";
    testing::WriteTestFile(path, "an earlier pass's records");
    OutputFile file;
    ASSERT_TRUE(file.Open(path, OpenMode::CreateOrTruncate));
    file.Write("AB");
    file.Close();
    EXPECT_EQ(ReadTestFile(path), "AB");
}

TEST(OutputFile, LaterWritesFailWithTheSameCode) {
    TempFolder folder;
    const ScopedWriteFault disk_full(folder / "012N.csv", 0);
    OutputFile file;
    ASSERT_TRUE(file.Open(folder / "012N.csv", OpenMode::AppendOrCreate));
    file.Write("line\r\n");
    EXPECT_THROW(file.Flush(), FileError);
    try {
        file.Write("next\r\n");
        ADD_FAILURE() << "no error";
    } catch (const FileError& e) {
        EXPECT_EQ(e.code(), DiskFullErrorCode());
    }
}

}  // namespace
}  // namespace korvalen

// The files of one pass, made where the dispatcher does not look and moved into its InBox
// only once every one of them is written and on the disk.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "output/csv_file.h"
#include "platform/file.h"

namespace korvalen {

// The folder inside the InBox that holds the files of passes not yet finished, one folder
// per pass. It is on the InBox's own volume, so a file moves out of it in one step; the
// dispatcher takes files from the InBox itself, never from a folder in it.
inline constexpr std::string_view kStagingFolderName = "Korvalen.staging";

// inbox + "Korvalen.staging" + separator + id + separator; the InBox ends with its
// separator, which the new folders take over.
std::string StagingFolderFor(const std::string& inbox, const std::string& id);

// A file a pass staged, under the name it is to have in the InBox.
struct StagedFile {
    std::string name;
    std::int64_t size = 0;

    bool operator==(const StagedFile&) const = default;
};

// What moving a pass's files into the InBox came to.
struct PublishResult {
    int moved = 0;
    int failed = 0;      // files left in the staging folder
    int error_code = 0;  // the system's code of the last failure
    std::string failed_path;

    bool ok() const { return failed == 0; }
};

// The staging folder of one pass. While it exists its lock file is held, so that no
// other process's start-up takes it for a folder left behind by a crash; the lock is let
// go only once the files have moved.
//
// A pass that keeps a journal of its own (the job owner's) is finished by its job after
// a crash, whichever program runs it. A pass without one (korvalen-decode) keeps its CSV
// marks in its folder instead, so that whoever sweeps the folder after a crash takes the
// pass's CSV lines back before the dump is decoded again.
class StagedDelivery {
  public:
    StagedDelivery(std::string inbox, const std::string& id, bool journalled);
    // Lets go of the lock; what is staged stays for whoever finishes the pass.
    ~StagedDelivery();
    StagedDelivery(const StagedDelivery&) = delete;
    StagedDelivery& operator=(const StagedDelivery&) = delete;

    // Creates the InBox when it is missing (and the folders above it), the staging
    // folder, every new name on the disk, and takes its lock. The system's code, 0 on
    // success: otherwise the pass's files cannot be opened, and each says so.
    int Prepare();
    const std::string& inbox() const { return inbox_; }
    const std::string& folder() const { return folder_; }

    // For a pass without a journal: the CSV files it appends to and their lengths before,
    // on the disk before the first line reaches them.
    int KeepCsvMarks(const std::vector<CsvFileMark>& marks);
    // For a pass without a journal: every file is staged and on the disk; from now on a
    // sweep after a crash finishes its moves instead of taking its CSV lines back.
    int CommitWithoutJournal(const std::vector<StagedFile>& files);

    // Puts the staging folder's names onto the disk, and the InBox's (the CSV files a pass
    // began): the files, flushed as they were closed, are now all there. The staged
    // files, or nothing (with the system's code).
    std::optional<std::vector<StagedFile>> Seal(int& error_code);
    // Moves the staged files into the InBox, puts the InBox's names onto the disk and
    // removes the staging folder.
    PublishResult Publish(const std::vector<StagedFile>& files);
    // Removes the staged files and the folder: the pass is done again from the start.
    void Discard();

  private:
    std::string inbox_;
    std::string folder_;
    bool journalled_;
    std::vector<CsvFileMark> csv_marks_;
    File lock_;
};

// Finishes the moves of a pass that had committed its files when its program ended. Each
// file it staged is accounted for: still staged (moved now; one the InBox has under a
// second link already is only unlinked), or gone from the staging folder, which its move
// alone can have done (the folder was on the disk before the files were committed, and it
// goes only after the last move): delivered, and perhaps taken by the dispatcher since.
// A staged file whose size is not the one committed is not moved. Then the InBox's names
// go onto the disk and the folder goes.
PublishResult DeliverStagedFiles(const std::string& staging, const std::string& inbox,
                                 const std::vector<StagedFile>& files);

// The moves alone, with the InBox's names put onto the disk; the folder stays.
PublishResult MoveStagedFiles(const std::string& staging, const std::string& inbox,
                              const std::vector<StagedFile>& files);

// Removes a staging folder with what is in it; the common folder goes with its last
// pass. Its removal is on the disk when it returns 0.
int RemoveStagingFolder(const std::string& staging);

// What sweeping the staging folders of an InBox came to.
struct SweepResult {
    int removed = 0;
    std::vector<std::string> csv_kept;  // CSV files of a swept pass that could not be cut back
};

// Removes the staging folders that nobody holds and that no journal can need: those that
// hold nothing but their lock, and those of passes without a journal, whose CSV lines
// are taken back first (a folder whose CSV files cannot be cut back stays, and says
// which) or, once such a pass had committed its files, whose moves are finished. A folder with
// files of a journalled pass is never touched, whichever program's journal that is: its job
// finishes it.
SweepResult SweepStagingFolders(const std::string& inbox);

}  // namespace korvalen

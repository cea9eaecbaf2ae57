// The files of one pass, made where the dispatcher does not look and moved into its InBox
// only once every one of them is written and on the disk.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/file.h"

namespace korvalen {

// The folder inside the InBox that holds the files of passes not yet finished, one folder
// per pass. It is on the InBox's own volume, so a file moves out of it in one step; the
// dispatcher takes files from the InBox itself, never from a folder in it.
inline constexpr std::string_view kStagingFolderName = "Korvalen.staging";

// inbox + "Korvalen.staging" + separator + id + separator; the InBox ends with its
// separator, which the new folders take over.
std::string StagingFolderFor(const std::string& inbox, const std::string& id);

// What moving a pass's files into the InBox came to.
struct PublishResult {
    int moved = 0;
    int failed = 0;       // files left in the staging folder
    int error_code = 0;   // the system's code of the last failure
    std::string failed_path;

    bool ok() const { return failed == 0; }
};

// The staging folder of one pass. While it exists its lock file is held, so that another
// process's start-up never takes it for a folder left behind by a crash.
class StagedDelivery {
  public:
    StagedDelivery(std::string inbox, const std::string& id);
    // Lets go of the lock; what is staged stays for whoever finishes the pass.
    ~StagedDelivery();
    StagedDelivery(const StagedDelivery&) = delete;
    StagedDelivery& operator=(const StagedDelivery&) = delete;

    // Creates the InBox when it is missing (and the folders above it) and the staging
    // folder, and takes its lock. False when that fails: the pass's files then cannot be
    // opened, and each says so.
    bool Prepare();
    const std::string& inbox() const { return inbox_; }
    const std::string& folder() const { return folder_; }

    // Puts the staging folder's names onto the disk: the files, flushed as they were
    // closed, are now all there.
    void Seal();
    // Moves every staged file into the InBox, puts the InBox's names onto the disk and
    // removes the staging folder.
    PublishResult Publish();
    // Removes the staged files and the folder: the pass is done again from the start.
    void Discard();

  private:
    std::string inbox_;
    std::string folder_;
    File lock_;
};

// Moves every file left in a staging folder into `inbox`, a name taken there meanwhile
// moving on by a second as message file names do; then the InBox's names go onto the disk
// and the folder goes. For a pass that had committed its files when the program ended.
PublishResult PublishStagingFolder(const std::string& staging, const std::string& inbox);

// Removes a staging folder with what is in it.
void RemoveStagingFolder(const std::string& staging);

// The staging folders in `inbox` whose pass has ended without finishing (nobody holds
// their lock), as full paths.
std::vector<std::string> AbandonedStagingFolders(const std::string& inbox);

}  // namespace korvalen

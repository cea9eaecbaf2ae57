// Staged files: the pass's folder with its lock, the move into the InBox, the leftovers.
#include "output/staged_delivery.h"

#include "output/message_file.h"

namespace korvalen {
namespace {

constexpr std::string_view kLockFileName = "pass.lock";

char SeparatorOf(const std::string& folder) {
    return !folder.empty() && folder.back() == '/' ? '/' : '\\';
}

std::string StagingRoot(const std::string& inbox) {
    return inbox + std::string(kStagingFolderName) + SeparatorOf(inbox);
}

bool TakeLock(File& lock, const std::string& folder) {
    return lock.Open(folder + std::string(kLockFileName), OpenMode::AppendOrCreate,
                     Sharing::Exclusive);
}

}  // namespace

std::string StagingFolderFor(const std::string& inbox, const std::string& id) {
    return StagingRoot(inbox) + id + SeparatorOf(inbox);
}

StagedDelivery::StagedDelivery(std::string inbox, const std::string& id)
    : inbox_(std::move(inbox)), folder_(StagingFolderFor(inbox_, id)) {}

StagedDelivery::~StagedDelivery() = default;

bool StagedDelivery::Prepare() {
    CreateFolders(inbox_);
    // Another pass that has just finished removes the common folder when it is empty;
    // once this pass's folder is in it, it stays.
    for (int attempt = 0; attempt < 3 && !FolderExists(folder_); ++attempt) {
        CreateFolder(StagingRoot(inbox_));
        CreateFolder(folder_);
    }
    if (!TakeLock(lock_, folder_))
        return false;
    // What a pass of the same name left when its program ended is not this pass's.
    for (const std::string& name : FolderEntries(folder_)) {
        if (name != kLockFileName)
            RemoveFile(folder_ + name);
    }
    return true;
}

void StagedDelivery::Seal() {
    SyncFolder(folder_);
}

PublishResult StagedDelivery::Publish() {
    lock_ = File();
    return PublishStagingFolder(folder_, inbox_);
}

void StagedDelivery::Discard() {
    lock_ = File();
    RemoveStagingFolder(folder_);
}

PublishResult PublishStagingFolder(const std::string& staging, const std::string& inbox) {
    PublishResult result;
    for (const std::string& name : FolderEntries(staging)) {
        if (name == kLockFileName)
            continue;
        const std::string from = staging + name;
        std::string to = inbox + name;
        int code = RenameWithoutReplacing(from, to);
        // Another pass (of this program or another) delivered a file of the same name
        // meanwhile: the same rule as for a name taken when the file was made.
        while (code != 0 && NameTaken(code)) {
            to = NextMessageFileName(to);
            if (to.empty())
                break;
            code = RenameWithoutReplacing(from, to);
        }
        if (code == 0) {
            ++result.moved;
        } else {
            ++result.failed;
            result.error_code = code;
            result.failed_path = from;
        }
    }
    SyncFolder(inbox);
    if (result.ok())
        RemoveStagingFolder(staging);
    return result;
}

void RemoveStagingFolder(const std::string& staging) {
    for (const std::string& name : FolderEntries(staging))
        RemoveFile(staging + name);
    std::string folder = staging;
    if (!folder.empty() && (folder.back() == '\\' || folder.back() == '/'))
        folder.pop_back();
    RemoveFolder(folder);
    // The common folder goes with its last pass: an idle InBox holds only the files.
    const std::string root = FolderOfPath(folder);
    if (!root.empty() && FolderEntries(root).empty())
        RemoveFolder(root.substr(0, root.size() - 1));
}

std::vector<std::string> AbandonedStagingFolders(const std::string& inbox) {
    std::vector<std::string> abandoned;
    const std::string root = StagingRoot(inbox);
    for (const std::string& id : FolderEntries(root)) {
        const std::string folder = root + id + SeparatorOf(inbox);
        if (!FolderExists(folder))
            continue;
        File lock;
        if (TakeLock(lock, folder))
            abandoned.push_back(folder);
    }
    return abandoned;
}

}  // namespace korvalen

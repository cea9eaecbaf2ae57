// Staged files: the pass's folder with its lock, the move into the InBox, the leftovers.
#include "output/staged_delivery.h"

#include <chrono>
#include <thread>

#include "output/message_file.h"
#include "platform/string_printf.h"

namespace korvalen {
namespace {

constexpr std::string_view kLockFileName = "pass.lock";
// The CSV marks of a pass without a journal: "START PATH" lines.
constexpr std::string_view kCsvMarksName = "csv.marks";
constexpr std::string_view kCsvMarksTemporary = "csv.marks.new";
// A sweeper of another process may hold a new folder's lock for a moment, or remove the
// common folder just as it is made: Prepare tries again.
constexpr int kPrepareTries = 50;
constexpr std::chrono::milliseconds kPrepareWait{20};

char SeparatorOf(const std::string& folder) {
    return !folder.empty() && folder.back() == '/' ? '/' : '\\';
}

std::string StagingRoot(const std::string& inbox) {
    return inbox + std::string(kStagingFolderName) + SeparatorOf(inbox);
}

std::string WithoutSeparator(std::string folder) {
    if (!folder.empty() && (folder.back() == '\\' || folder.back() == '/'))
        folder.pop_back();
    return folder;
}

bool IsBookkeeping(std::string_view name) {
    return name == kLockFileName || name == kCsvMarksName || name == kCsvMarksTemporary;
}

int TakeLock(File& lock, const std::string& folder) {
    return lock.Open(folder + std::string(kLockFileName), OpenMode::AppendOrCreate,
                     Sharing::Exclusive)
               ? 0
               : lock.error_code();
}

// Creates one folder and puts its name onto the disk; one that exists is fine.
int MakeDurableFolder(const std::string& folder, const std::string& parent) {
    const int code = MakeFolder(WithoutSeparator(folder));
    if (code != 0)
        return NameTaken(code) ? 0 : code;
    return SyncFolder(parent);
}

// What a pass without a journal keeps in its folder: its CSV marks ("START PATH" lines)
// and, once every file is staged and on the disk, "committed" with its files ("file SIZE
// NAME" lines): from then on its files are to be moved, and its CSV lines stay.
struct PassMarks {
    std::vector<CsvFileMark> csv;
    bool committed = false;
    std::vector<StagedFile> files;
};

std::optional<std::int64_t> Count(std::string_view text) {
    if (text.empty() || text.size() > 18)
        return std::nullopt;
    std::int64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + (c - '0');
    }
    return value;
}

std::string FormatPassMarks(const PassMarks& marks) {
    std::string text;
    for (const CsvFileMark& mark : marks.csv)
        text += StringPrintf("%lld ", static_cast<long long>(mark.length)) + mark.path + "\n";
    if (marks.committed) {
        text += "committed\n";
        for (const StagedFile& file : marks.files)
            text +=
                StringPrintf("file %lld ", static_cast<long long>(file.size)) + file.name + "\n";
    }
    return text;
}

std::optional<PassMarks> ParsePassMarks(std::string_view text) {
    PassMarks marks;
    for (std::size_t at = 0; at < text.size();) {
        std::size_t end = text.find('\n', at);
        if (end == std::string_view::npos)
            end = text.size();
        const std::string_view line = text.substr(at, end - at);
        at = end + 1;
        if (line == "committed") {
            marks.committed = true;
            continue;
        }
        const std::size_t blank = line.find(' ');
        if (blank == std::string_view::npos)
            return std::nullopt;
        if (marks.committed && line.substr(0, blank) == "file") {
            const std::string_view rest = line.substr(blank + 1);
            const std::size_t second = rest.find(' ');
            const auto size =
                second == std::string_view::npos ? std::nullopt : Count(rest.substr(0, second));
            if (!size)
                return std::nullopt;
            marks.files.push_back({std::string(rest.substr(second + 1)), *size});
            continue;
        }
        const auto length = Count(line.substr(0, blank));
        if (!length || marks.committed)
            return std::nullopt;
        marks.csv.push_back({std::string(line.substr(blank + 1)), *length});
    }
    return marks;
}

// Moves one staged file into the InBox; a name taken there meanwhile (another pass, of
// this program or another, delivered a file of the same name) moves on by a second, as
// message file names do when they are made.
int MoveIntoInbox(const std::string& from, const std::string& inbox, const std::string& name) {
    std::string to = inbox + name;
    int code = RenameWithoutReplacing(from, to);
    while (code != 0 && NameTaken(code)) {
        to = NextMessageFileName(to);
        if (to.empty())
            break;
        code = RenameWithoutReplacing(from, to);
    }
    return code;
}

}  // namespace

std::string StagingFolderFor(const std::string& inbox, const std::string& id) {
    return StagingRoot(inbox) + id + SeparatorOf(inbox);
}

StagedDelivery::StagedDelivery(std::string inbox, const std::string& id, bool journalled)
    : inbox_(std::move(inbox)), folder_(StagingFolderFor(inbox_, id)), journalled_(journalled) {}

StagedDelivery::~StagedDelivery() = default;

int StagedDelivery::Prepare() {
    if (const int code = CreateFolders(inbox_); code != 0)
        return code;
    const std::string root = StagingRoot(inbox_);
    int code = 0;
    for (int attempt = 0; attempt < kPrepareTries; ++attempt) {
        if (attempt > 0)
            std::this_thread::sleep_for(kPrepareWait);
        code = MakeDurableFolder(root, inbox_);
        if (code == 0)
            code = MakeDurableFolder(folder_, root);
        if (code == 0)
            code = TakeLock(lock_, folder_);
        if (code == 0)
            break;
        // The common folder went just now, or a sweeper looks at this one: again.
        if (!NotFound(code) && !SharingViolation(code))
            return code;
    }
    if (code != 0)
        return code;
    // What a pass of the same job left when its program ended is not this pass's.
    std::optional<std::vector<std::string>> entries = ListFolder(folder_, &code);
    if (!entries)
        return code;
    for (const std::string& name : *entries) {
        if (name != kLockFileName)
            RemoveFile(folder_ + name);
    }
    return journalled_ ? 0 : KeepCsvMarks({});
}

int StagedDelivery::KeepCsvMarks(const std::vector<CsvFileMark>& marks) {
    csv_marks_ = marks;
    return WriteFileAtomically(folder_ + std::string(kCsvMarksName),
                               FormatPassMarks({csv_marks_, false, {}}));
}

int StagedDelivery::CommitWithoutJournal(const std::vector<StagedFile>& files) {
    return WriteFileAtomically(folder_ + std::string(kCsvMarksName),
                               FormatPassMarks({csv_marks_, true, files}));
}

std::optional<std::vector<StagedFile>> StagedDelivery::Seal(int& error_code) {
    // The InBox too: the CSV files a pass began are there, and must be there after a
    // power cut as surely as the staged files.
    for (const std::string& folder : {folder_, inbox_}) {
        if (const int code = SyncFolder(folder); code != 0) {
            error_code = code;
            return std::nullopt;
        }
    }
    std::optional<std::vector<std::string>> entries = ListFolder(folder_, &error_code);
    if (!entries)
        return std::nullopt;
    std::vector<StagedFile> files;
    for (const std::string& name : *entries) {
        if (IsBookkeeping(name))
            continue;
        const std::optional<FileFacts> facts = LookAtFile(folder_ + name, &error_code);
        if (!facts)
            return std::nullopt;
        files.push_back({name, facts->size});
    }
    return files;
}

PublishResult StagedDelivery::Publish(const std::vector<StagedFile>& files) {
    PublishResult result = MoveStagedFiles(folder_, inbox_, files);
    // Held until the moves are done (and let go before the folder goes: Windows deletes
    // no file that is held open).
    lock_ = File();
    if (result.ok()) {
        if (const int code = RemoveStagingFolder(folder_); code != 0) {
            ++result.failed;
            result.error_code = code;
            result.failed_path = folder_;
        }
    }
    return result;
}

void StagedDelivery::Discard() {
    lock_ = File();
    RemoveStagingFolder(folder_);
}

PublishResult DeliverStagedFiles(const std::string& staging, const std::string& inbox,
                                 const std::vector<StagedFile>& files) {
    PublishResult result = MoveStagedFiles(staging, inbox, files);
    if (result.ok()) {
        if (const int code = RemoveStagingFolder(staging); code != 0) {
            ++result.failed;
            result.error_code = code;
            result.failed_path = staging;
        }
    }
    return result;
}

PublishResult MoveStagedFiles(const std::string& staging, const std::string& inbox,
                              const std::vector<StagedFile>& files) {
    PublishResult result;
    const auto fail = [&](const std::string& path, int code) {
        ++result.failed;
        result.error_code = code;
        result.failed_path = path;
    };
    for (const StagedFile& file : files) {
        const std::string from = staging + file.name;
        int code = 0;
        const std::optional<FileFacts> facts = LookAtFile(from, &code);
        if (!facts) {
            if (NotFound(code))
                ++result.moved;  // moved before, by the pass or an earlier recovery
            else
                fail(from, code);
            continue;
        }
        if (facts->size != file.size) {
            fail(from, DamagedFileErrorCode());
            continue;
        }
        // A move cut between its link into the InBox and the unlink of its staged name.
        if (facts->links > 1) {
            if (RemoveFile(from))
                ++result.moved;
            else
                fail(from, DamagedFileErrorCode());
            continue;
        }
        code = MoveIntoInbox(from, inbox, file.name);
        if (code == 0)
            ++result.moved;
        else
            fail(from, code);
    }
    // The InBox's names are on the disk before the staging folder's go: a file is never
    // in neither.
    if (const int code = SyncFolder(inbox); code != 0)
        fail(inbox, code);
    return result;
}

int RemoveStagingFolder(const std::string& staging) {
    int code = 0;
    std::optional<std::vector<std::string>> entries = ListFolder(staging, &code);
    if (!entries)
        return NotFound(code) ? 0 : code;
    for (const std::string& name : *entries)
        RemoveFile(staging + name);
    const std::string folder = WithoutSeparator(staging);
    if (!RemoveFolder(folder) && FolderExists(folder))
        return DamagedFileErrorCode();
    const std::string root = FolderOfPath(folder);
    if (root.empty())
        return 0;
    // The common folder goes with its last pass: an idle InBox holds only the files. A
    // pass of another process that makes its folder meanwhile keeps it (it is not empty).
    std::optional<std::vector<std::string>> left = ListFolder(root);
    if (left && left->empty() && RemoveFolder(WithoutSeparator(root)))
        return SyncFolder(FolderOfPath(WithoutSeparator(root)));
    return SyncFolder(root);
}

SweepResult SweepStagingFolders(const std::string& inbox) {
    SweepResult result;
    const std::string root = StagingRoot(inbox);
    const std::optional<std::vector<std::string>> ids = ListFolder(root);
    if (!ids)
        return result;
    for (const std::string& id : *ids) {
        const std::string folder = root + id + SeparatorOf(inbox);
        if (!FolderExists(folder))
            continue;
        File lock;
        if (TakeLock(lock, folder) != 0)
            continue;  // a pass runs in it, or it cannot be told
        const std::optional<std::vector<std::string>> entries = ListFolder(folder);
        if (!entries)
            continue;
        bool staged = false;
        bool marks = false;
        for (const std::string& name : *entries) {
            staged = staged || !IsBookkeeping(name);
            marks = marks || name == kCsvMarksName;
        }
        if (staged && !marks)
            continue;  // a journalled pass's files: its job finishes them
        if (marks) {
            std::string text;
            if (!ReadWholeFile(folder + std::string(kCsvMarksName), text))
                continue;
            const std::optional<PassMarks> pass = ParsePassMarks(text);
            if (!pass)
                continue;
            if (pass->committed) {
                // Every file was staged and on the disk: its moves are finished, its CSV
                // lines stay.
                lock = File();
                if (DeliverStagedFiles(folder, inbox, pass->files).ok())
                    ++result.removed;
                continue;
            }
            bool all_cut = true;
            for (const CsvFileMark& mark : pass->csv) {
                if (CutBackCsvFile(mark) != CsvCutBack::Done) {
                    result.csv_kept.push_back(mark.path);
                    all_cut = false;
                }
            }
            if (!all_cut)
                continue;
        }
        lock = File();
        if (RemoveStagingFolder(folder) == 0)
            ++result.removed;
    }
    return result;
}

}  // namespace korvalen

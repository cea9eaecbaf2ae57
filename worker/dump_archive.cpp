// Dumps copied into the archive, and the oldest let go.
#include "worker/dump_archive.h"

#include <vector>

#include "platform/file.h"
#include "platform/string_printf.h"

namespace korvalen {
namespace {

constexpr std::string_view kPartSuffix = ".part";

bool EndsWith(std::string_view text, std::string_view end) {
    return text.size() >= end.size() && text.substr(text.size() - end.size()) == end;
}

// The archive's own names: "YYYYMMDD-HHMMSS-…" ending ".trc".
bool IsArchiveName(std::string_view name) {
    if (!EndsWith(name, ".trc") || name.size() < 20 || name[8] != '-' || name[15] != '-')
        return false;
    for (std::size_t i : {0u, 1u, 2u, 3u, 4u, 5u, 6u, 7u, 9u, 10u, 11u, 12u, 13u, 14u}) {
        if (name[i] < '0' || name[i] > '9')
            return false;
    }
    return true;
}

int CopyInto(const std::string& from, const std::string& to) {
    File source;
    if (!source.Open(from, OpenMode::OpenExisting, Sharing::Shared, true))
        return source.error_code();
    File target;
    if (!target.Open(to, OpenMode::CreateOrTruncate, Sharing::Exclusive))
        return target.error_code();
    try {
        std::vector<char> buffer(std::size_t{256} * 1024);
        for (std::size_t n; (n = source.Read(buffer.data(), buffer.size())) > 0;)
            target.Write(buffer.data(), n);
        target.Flush();
        target.Close();
    } catch (const FileError& e) {
        return e.code() != 0 ? e.code() : -1;
    }
    return 0;
}

}  // namespace

std::string ArchiveName(std::string_view read_at, std::string_view kind) {
    return std::string(read_at) + "-" + std::string(kind) + ".trc";
}

DumpArchive::DumpArchive(std::string folder, std::int64_t limit)
    : folder_(std::move(folder)), limit_(limit) {}

std::optional<std::string> DumpArchive::Keep(const std::string& dump, const std::string& name,
                                             int& error_code) {
    if (const int code = CreateFolders(folder_); code != 0) {
        error_code = code;
        return std::nullopt;
    }
    // A copy made before the program ended, whose name the journal never heard of, is the
    // one kept: the archive holds each transfer once.
    const std::string stem = name.substr(0, name.size() - 4);  // without ".trc"
    std::string dump_bytes;
    if (ReadWholeFile(dump, dump_bytes)) {
        std::string kept;
        for (int n = 0;; ++n) {
            const std::string candidate =
                n == 0 ? folder_ + name : folder_ + stem + StringPrintf("-%d.trc", n);
            if (!FileExists(candidate))
                break;
            if (ReadWholeFile(candidate, kept) && kept == dump_bytes)
                return candidate;
        }
    }
    const std::string part = folder_ + name + std::string(kPartSuffix);
    if (const int code = CopyInto(dump, part); code != 0) {
        RemoveFile(part);
        error_code = code;
        return std::nullopt;
    }
    std::string target = folder_ + name;
    int code = RenameWithoutReplacing(part, target);
    for (int n = 1; code != 0 && NameTaken(code); ++n) {
        target = folder_ + stem + StringPrintf("-%d.trc", n);
        code = RenameWithoutReplacing(part, target);
    }
    if (code != 0) {
        RemoveFile(part);
        error_code = code;
        return std::nullopt;
    }
    if (const int code = SyncFolder(folder_); code != 0) {
        error_code = code;
        return std::nullopt;
    }
    Prune(target);
    return target;
}

void DumpArchive::Prune(const std::string& keep) {
    struct Entry {
        std::string path;
        std::int64_t size;
    };
    std::vector<Entry> dumps;
    std::int64_t total = 0;
    for (const std::string& name : FolderEntries(folder_)) {
        const std::string path = folder_ + name;
        if (EndsWith(name, kPartSuffix)) {
            // Held while a copy is being made; otherwise left by a crash.
            File probe;
            if (probe.Open(path, OpenMode::OpenExisting, Sharing::Exclusive)) {
                probe = File();
                RemoveFile(path);
            }
            continue;
        }
        if (!IsArchiveName(name))
            continue;
        const std::int64_t size = FileSize(path).value_or(0);
        dumps.push_back({path, size});
        total += size;
    }
    // FolderEntries sorts by name, and the names begin with the time.
    for (const Entry& dump : dumps) {
        if (total <= limit_)
            break;
        if (dump.path == keep)
            continue;
        RemoveFile(dump.path);
        total -= dump.size;
    }
}

}  // namespace korvalen

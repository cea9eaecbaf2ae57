// Win32 side of files: the file API with wide paths and the system's own sharing modes.
#include <windows.h>

#include <algorithm>
#include <utility>

#include "platform/file.h"
#include "platform/wide_string_win32.h"
#include "platform/write_fault.h"

namespace korvalen {
namespace {

HANDLE Handle(std::intptr_t handle) {
    return reinterpret_cast<HANDLE>(handle);
}

}  // namespace

void File::CloseQuietly() noexcept {
    if (IsOpen())
        CloseHandle(Handle(std::exchange(handle_, kClosedHandle)));
}

bool File::Open(const std::string& path, OpenMode mode, Sharing sharing, bool read_only) {
    CloseQuietly();
    path_ = path;
    const DWORD access = read_only ? GENERIC_READ : (GENERIC_READ | GENERIC_WRITE);
    // Share mode 0 is what makes a second exclusive opener fail with a sharing violation.
    // A shared opener also lets others rename or delete the file meanwhile: the journal
    // is replaced by a rename while another program reads it.
    const DWORD share = sharing == Sharing::Exclusive
                            ? 0
                            : (FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
    DWORD disposition = OPEN_EXISTING;
    if (mode == OpenMode::CreateOrTruncate)
        disposition = CREATE_ALWAYS;
    if (mode == OpenMode::AppendOrCreate)
        disposition = OPEN_ALWAYS;
    HANDLE h = CreateFileW(Widen(path).c_str(), access, share, nullptr, disposition,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        error_code_ = static_cast<int>(GetLastError());
        return false;
    }
    if (mode == OpenMode::AppendOrCreate)
        SetFilePointer(h, 0, nullptr, FILE_END);
    handle_ = reinterpret_cast<std::intptr_t>(h);
    error_code_ = 0;
    return true;
}

bool File::IsOpen() const {
    return handle_ != kClosedHandle;
}

void File::Fail(const char* operation) {
    error_code_ = static_cast<int>(GetLastError());
    throw FileError(std::string(operation) + " failed: " + path_, error_code_, path_);
}

std::size_t File::Read(void* buffer, std::size_t size) {
    DWORD read = 0;
    const DWORD chunk = size > 0x40000000 ? 0x40000000 : static_cast<DWORD>(size);
    if (!ReadFile(Handle(handle_), buffer, chunk, &read, nullptr))
        Fail("read");
    return read;
}

void File::Write(const void* data, std::size_t size) {
    const std::size_t allowed =
        AnyWriteFault() ? BytesBeforeWriteFault(path_, Position(), size) : size;
    const auto* bytes = static_cast<const char*>(data);
    for (std::size_t left = allowed; left > 0;) {
        const DWORD chunk = left > 0x40000000 ? 0x40000000 : static_cast<DWORD>(left);
        DWORD written = 0;
        if (!WriteFile(Handle(handle_), bytes, chunk, &written, nullptr))
            Fail("write");
        if (written == 0) {
            SetLastError(ERROR_DISK_FULL);
            Fail("write");
        }
        bytes += written;
        left -= written;
    }
    if (allowed < size) {
        SetLastError(ERROR_DISK_FULL);
        Fail("write");
    }
}

std::int64_t File::Position() {
    LARGE_INTEGER at;
    if (!SetFilePointerEx(Handle(handle_), LARGE_INTEGER{}, &at, FILE_CURRENT))
        Fail("seek");
    return at.QuadPart;
}

int DamagedFileErrorCode() {
    return ERROR_FILE_CORRUPT;
}

int DiskFullErrorCode() {
    return ERROR_DISK_FULL;
}

void File::Seek(std::int64_t offset) {
    LARGE_INTEGER to;
    to.QuadPart = offset;
    if (!SetFilePointerEx(Handle(handle_), to, nullptr, FILE_BEGIN))
        Fail("seek");
}

void File::Truncate(std::int64_t length) {
    Seek(length);
    if (!SetEndOfFile(Handle(handle_)))
        Fail("truncate");
}

std::int64_t File::Length() {
    LARGE_INTEGER size;
    if (!GetFileSizeEx(Handle(handle_), &size))
        Fail("size");
    return size.QuadPart;
}

void File::Flush() {
    if (!FlushFileBuffers(Handle(handle_)))
        Fail("flush");
}

// The cache manager writes behind on its own.
void File::StartWriteBehind() noexcept {}

void File::Close() {
    if (!IsOpen())
        return;
    if (!CloseHandle(Handle(std::exchange(handle_, kClosedHandle))))
        Fail("close");
}

bool FileExists(const std::string& path) {
    const DWORD attributes = GetFileAttributesW(Widen(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool FolderExists(const std::string& path) {
    const DWORD attributes = GetFileAttributesW(Widen(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

int MakeFolder(const std::string& path) {
    if (CreateDirectoryW(Widen(path).c_str(), nullptr))
        return 0;
    return static_cast<int>(GetLastError());
}

int CopyFileReplacing(const std::string& from, const std::string& to) {
    if (CopyFileW(Widen(from).c_str(), Widen(to).c_str(), FALSE))
        return 0;
    return static_cast<int>(GetLastError());
}

// A scanner or an indexer that has just opened a file without sharing lets go of it
// within moments; a move that meets it waits instead of failing. A file replaced while
// another program reads it (the journal) is refused with ERROR_ACCESS_DENIED until the
// reader has closed it, which it does as soon as it has read it.
template <typename Move>
int MoveThroughSharing(const Move& move, bool replacing) {
    const ULONGLONG give_up = GetTickCount64() + kSharingRetryMs;
    for (;;) {
        if (move())
            return 0;
        const int code = static_cast<int>(GetLastError());
        const bool held = SharingViolation(code) || (replacing && code == ERROR_ACCESS_DENIED);
        if (!held || GetTickCount64() >= give_up)
            return code;
        Sleep(20);
    }
}

// MOVEFILE_WRITE_THROUGH only matters for a move between volumes (a copy and a delete);
// a rename within the volume is made durable by SyncFolder.
int ReplaceFileWith(const std::string& from, const std::string& to) {
    const std::wstring source = Widen(from);
    const std::wstring target = Widen(to);
    return MoveThroughSharing(
        [&] {
            return MoveFileExW(source.c_str(), target.c_str(),
                               MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
        },
        true);
}

// Without MOVEFILE_REPLACE_EXISTING the rename refuses a name that exists, in the same
// step as it renames.
int RenameWithoutReplacing(const std::string& from, const std::string& to) {
    const std::wstring source = Widen(from);
    const std::wstring target = Widen(to);
    return MoveThroughSharing(
        [&] { return MoveFileExW(source.c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH) != 0; },
        false);
}

bool NameTaken(int code) {
    return code == ERROR_ALREADY_EXISTS || code == ERROR_FILE_EXISTS;
}

bool NotFound(int code) {
    return code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND ||
           code == ERROR_INVALID_NAME || code == ERROR_BAD_NETPATH;
}

bool SharingViolation(int code) {
    return code == ERROR_SHARING_VIOLATION || code == ERROR_LOCK_VIOLATION;
}

bool RemoveFile(const std::string& path) {
    return DeleteFileW(Widen(path).c_str()) != 0;
}

bool RemoveFolder(const std::string& path) {
    return RemoveDirectoryW(Widen(path).c_str()) != 0;
}

std::optional<std::vector<std::string>> ListFolder(const std::string& folder, int* error_code) {
    std::vector<std::string> names;
    std::wstring pattern = Widen(folder);
    if (!pattern.empty() && pattern.back() != L'\\' && pattern.back() != L'/')
        pattern += L'\\';
    pattern += L'*';
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(pattern.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
        const DWORD code = GetLastError();
        if (code == ERROR_FILE_NOT_FOUND)  // a folder without even "." (a drive's root)
            return names;
        if (error_code)
            *error_code = static_cast<int>(code);
        return std::nullopt;
    }
    do {
        const std::wstring name = found.cFileName;
        if (name != L"." && name != L"..")
            names.push_back(Narrow(name));
    } while (FindNextFileW(search, &found));
    const DWORD code = GetLastError();
    FindClose(search);
    if (code != ERROR_NO_MORE_FILES) {
        if (error_code)
            *error_code = static_cast<int>(code);
        return std::nullopt;
    }
    std::sort(names.begin(), names.end());
    return names;
}

// No access asked for: the attributes of a file are had even while another program holds
// it without sharing.
std::optional<FileFacts> LookAtFile(const std::string& path, int* error_code) {
    HANDLE h =
        CreateFileW(Widen(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        if (error_code)
            *error_code = static_cast<int>(GetLastError());
        return std::nullopt;
    }
    BY_HANDLE_FILE_INFORMATION info;
    const BOOL got = GetFileInformationByHandle(h, &info);
    const DWORD code = GetLastError();
    CloseHandle(h);
    if (!got) {
        if (error_code)
            *error_code = static_cast<int>(code);
        return std::nullopt;
    }
    FileFacts facts;
    facts.id = {info.dwVolumeSerialNumber,
                (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
    facts.size = static_cast<std::int64_t>((static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) |
                                           info.nFileSizeLow);
    facts.links = info.nNumberOfLinks;
    facts.folder = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    return facts;
}

std::vector<std::string> FolderEntries(const std::string& folder) {
    return ListFolder(folder).value_or(std::vector<std::string>{});
}

std::optional<std::int64_t> FileSize(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(Widen(path).c_str(), GetFileExInfoStandard, &data) ||
        (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
        return std::nullopt;
    }
    return (static_cast<std::int64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

// NTFS logs a folder's name changes in its own journal; flushing the folder's handle
// commits them to the disk and flushes the disk's cache, as fsync does a folder on Linux.
// A file system that has no such request for a folder (FAT on some drivers, a network
// share) refuses the flush: it writes its names as it can, and nothing more can be asked.
int SyncFolder(const std::string& folder) {
    HANDLE h = CreateFileW(Widen(folder.empty() ? std::string(".") : folder).c_str(),
                           GENERIC_READ | GENERIC_WRITE,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return static_cast<int>(GetLastError());
    int code = FlushFileBuffers(h) ? 0 : static_cast<int>(GetLastError());
    if (code == ERROR_INVALID_FUNCTION || code == ERROR_NOT_SUPPORTED ||
        code == ERROR_INVALID_PARAMETER || code == ERROR_ACCESS_DENIED) {
        code = 0;
    }
    CloseHandle(h);
    return code;
}

}  // namespace korvalen

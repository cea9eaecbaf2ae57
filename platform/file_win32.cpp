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
    const DWORD share = sharing == Sharing::Exclusive ? 0 : (FILE_SHARE_READ | FILE_SHARE_WRITE);
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

bool CreateFolder(const std::string& path) {
    return CreateDirectoryW(Widen(path).c_str(), nullptr) != 0;
}

int CopyFileReplacing(const std::string& from, const std::string& to) {
    if (CopyFileW(Widen(from).c_str(), Widen(to).c_str(), FALSE))
        return 0;
    return static_cast<int>(GetLastError());
}

int ReplaceFileWith(const std::string& from, const std::string& to) {
    if (MoveFileExW(Widen(from).c_str(), Widen(to).c_str(),
                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        return 0;
    }
    return static_cast<int>(GetLastError());
}

int RenameWithoutReplacing(const std::string& from, const std::string& to) {
    if (MoveFileExW(Widen(from).c_str(), Widen(to).c_str(), MOVEFILE_WRITE_THROUGH))
        return 0;
    return static_cast<int>(GetLastError());
}

bool NameTaken(int code) {
    return code == ERROR_ALREADY_EXISTS || code == ERROR_FILE_EXISTS;
}

void RemoveFile(const std::string& path) {
    DeleteFileW(Widen(path).c_str());
}

bool RemoveFolder(const std::string& path) {
    return RemoveDirectoryW(Widen(path).c_str()) != 0;
}

std::vector<std::string> FolderEntries(const std::string& folder) {
    std::vector<std::string> names;
    std::wstring pattern = Widen(folder);
    if (!pattern.empty() && pattern.back() != L'\\' && pattern.back() != L'/')
        pattern += L'\\';
    pattern += L'*';
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(pattern.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return names;
    do {
        const std::wstring name = found.cFileName;
        if (name != L"." && name != L"..")
            names.push_back(Narrow(name));
    } while (FindNextFileW(search, &found));
    FindClose(search);
    std::sort(names.begin(), names.end());
    return names;
}

std::optional<std::int64_t> FileSize(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(Widen(path).c_str(), GetFileExInfoStandard, &data) ||
        (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
        return std::nullopt;
    }
    return (static_cast<std::int64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

// NTFS journals its names itself; a rename with MOVEFILE_WRITE_THROUGH returns once it
// is on the disk.
void SyncFolder(const std::string&) {}

}  // namespace korvalen

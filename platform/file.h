// Files with the Windows sharing rules on both systems, UTF-8 paths and the system's codes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace korvalen {

// A failure of a file operation after the file was opened. Writers catch it, report it
// and go on; `code` is the system's error code for the "Код ошибки: %i" of the messages.
class FileError : public std::runtime_error {
  public:
    FileError(const std::string& what, int code, std::string path)
        : std::runtime_error(what), code_(code), path_(std::move(path)) {}
    int code() const { return code_; }
    const std::string& path() const { return path_; }

  private:
    int code_;
    std::string path_;
};

enum class OpenMode {
    CreateOrTruncate,  // create the file, or cut an existing one to length 0
    OpenExisting,      // fail when the file is not there
    AppendOrCreate,    // create the file when missing; opened at its end (a Seek moves on)
};

enum class Sharing {
    Shared,     // others may read and write the file meanwhile, but not hold it exclusively
    Exclusive,  // nobody else gets the file while this one holds it
};

// One open file, closed when the object goes. Paths are UTF-8. Opening reports failure
// by its result and the system's code; reading, writing and seeking throw FileError.
class File {
  public:
    File() = default;
    ~File();
    File(File&& other) noexcept;
    File& operator=(File&& other) noexcept;
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    // Opens `path` for reading and writing (reading only for OpenExisting with
    // `read_only`). On failure returns false and keeps the system's code in error_code().
    bool Open(const std::string& path, OpenMode mode, Sharing sharing, bool read_only = false);
    bool IsOpen() const;
    int error_code() const { return error_code_; }
    const std::string& path() const { return path_; }

    // Reads up to `size` bytes; returns how many were read, 0 at the end of the file.
    std::size_t Read(void* buffer, std::size_t size);
    // Writes all `size` bytes or throws.
    void Write(const void* data, std::size_t size);
    void Write(std::string_view bytes) { Write(bytes.data(), bytes.size()); }
    void Seek(std::int64_t offset);
    // Cuts the file to `length` bytes and moves the position there.
    void Truncate(std::int64_t length);
    std::int64_t Length();
    // Puts everything written so far onto the disk itself, past the system's caches.
    void Flush();
    // Asks the system to begin writing what was written so far to the disk now, without
    // waiting for it, so that a later Flush finds little left to do. A hint: where the
    // system has no such request (Windows writes behind by itself) it does nothing.
    void StartWriteBehind() noexcept;
    // Closes the file; throws when the system reports a failure of the last writes.
    void Close();

  private:
    // A POSIX descriptor or a Win32 HANDLE; -1 (INVALID_HANDLE_VALUE) when closed.
    static constexpr std::intptr_t kClosedHandle = -1;

    [[noreturn]] void Fail(const char* operation);
    std::int64_t Position();
    // Closes without reporting anything (the destructor, a move, a new Open).
    void CloseQuietly() noexcept;

    std::intptr_t handle_ = kClosedHandle;
    int error_code_ = 0;
    std::string path_;
};

// The whole file as bytes; false (with the system's code) when it cannot be read.
bool ReadWholeFile(const std::string& path, std::string& bytes, int* error_code = nullptr);

bool FileExists(const std::string& path);
bool FolderExists(const std::string& path);
// Creates one folder; false when it exists already or cannot be created.
bool CreateFolder(const std::string& path);
// Creates a folder and every missing folder above it ("\" or "/" between them); true
// when it exists afterwards.
bool CreateFolders(const std::string& path);
// Copies `from` onto `to`, replacing an existing file; the system's code, 0 on success.
int CopyFileReplacing(const std::string& from, const std::string& to);
// Renames `from` onto `to` in one step, replacing `to`; the system's code, 0 on success.
int ReplaceFileWith(const std::string& from, const std::string& to);
// Renames `from` to `to` in one step unless `to` exists; the system's code, 0 on success.
// A name already taken gives a code for which NameTaken() is true.
int RenameWithoutReplacing(const std::string& from, const std::string& to);
bool NameTaken(int code);
// Deletes a file; failures are ignored.
void RemoveFile(const std::string& path);
// Deletes an empty folder; false when it is not there, not empty or cannot be deleted.
bool RemoveFolder(const std::string& path);
// The names of the files and folders in a folder, sorted; empty when it cannot be read.
std::vector<std::string> FolderEntries(const std::string& folder);
// The size of a file, nothing when it cannot be had.
std::optional<std::int64_t> FileSize(const std::string& path);

// Puts the names of a folder (files created, renamed or removed in it) onto the disk
// itself. On Windows the file system's own journal does that for every change.
void SyncFolder(const std::string& folder);

// Replaces a whole file so that a crash at any moment leaves either the old or the new
// contents: the bytes are written beside it, put onto the disk, renamed over it, and the
// folder's names put onto the disk. The system's code, 0 on success.
int WriteFileAtomically(const std::string& path, std::string_view bytes);

// The folder part of a path, with its separator ("D:\Data\" of "D:\Data\x.trc");
// empty for a bare name.
std::string FolderOfPath(std::string_view path);

}  // namespace korvalen

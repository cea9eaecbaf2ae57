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
// Creates one folder; the system's code, 0 on success (NameTaken() is true for a folder
// that exists already). Its name is not yet on the disk: see CreateFolders.
int MakeFolder(const std::string& path);
// The same, true when the folder was made.
bool CreateFolder(const std::string& path);
// Creates a folder and every missing folder above it ("\" or "/" between them), each new
// name put onto the disk in its parent before the next one is made. The system's code, 0
// when the folder exists afterwards and every name it took is on the disk.
[[nodiscard]] int CreateFolders(const std::string& path);
// Copies `from` onto `to`, replacing an existing file; the system's code, 0 on success.
int CopyFileReplacing(const std::string& from, const std::string& to);
// Renames `from` onto `to` in one step, replacing `to`; the system's code, 0 on success.
// A sharing violation (another program holds either file for a moment) is tried again
// for up to kSharingRetryMs.
int ReplaceFileWith(const std::string& from, const std::string& to);
// Renames `from` to `to` in one step unless `to` exists; the system's code, 0 on success.
// A name already taken gives a code for which NameTaken() is true. On a file system that
// cannot rename without replacing, the file is linked under its new name and then
// unlinked: a crash between the two leaves it under both (see FileFacts::links).
int RenameWithoutReplacing(const std::string& from, const std::string& to);
bool NameTaken(int code);
// The code says that nothing is there: no such file, or no such folder on the way.
bool NotFound(int code);
// The code says that another program holds the file for now (on Windows a scanner or an
// indexer that opened it without sharing): trying again a little later may succeed.
bool SharingViolation(int code);
// The system's code for a file that is not what it should be (a damaged journal, a staged
// file of the wrong size): EBADMSG, or ERROR_FILE_CORRUPT on Windows.
int DamagedFileErrorCode();
// How long the calls that replace or move a file keep trying through a sharing violation.
inline constexpr int kSharingRetryMs = 3000;
// Deletes a file; false when it is not there or cannot be deleted.
bool RemoveFile(const std::string& path);
// Deletes an empty folder; false when it is not there, not empty or cannot be deleted.
bool RemoveFolder(const std::string& path);
// The names of the files and folders in a folder, sorted; empty when it cannot be read.
std::vector<std::string> FolderEntries(const std::string& folder);
// The same, but a folder that cannot be read is told apart from an empty one: nothing,
// with the system's code (for which NotFound() is true when the folder is not there).
std::optional<std::vector<std::string>> ListFolder(const std::string& folder,
                                                   int* error_code = nullptr);
// The size of a file, nothing when it cannot be had.
std::optional<std::int64_t> FileSize(const std::string& path);

// What a file is, whatever its path is spelled like: two paths name the same file when
// their ids are equal (the volume and the file's number on it).
struct FileId {
    std::uint64_t volume = 0;
    std::uint64_t file = 0;

    bool operator==(const FileId&) const = default;
};
struct FileFacts {
    FileId id;
    std::int64_t size = 0;
    std::uint32_t links = 1;  // names the file has (a hard link is a second one)
    bool folder = false;
};
// The facts of the file or folder at `path`; nothing (with the system's code) when there
// is none or it cannot be looked at. Works on a file another program holds exclusively.
std::optional<FileFacts> LookAtFile(const std::string& path, int* error_code = nullptr);
// Whether two paths name the same file or folder: by their ids when both exist, by their
// spelling otherwise.
bool SameFile(const std::string& a, const std::string& b);

// Puts the names of a folder (files created, renamed or removed in it) onto the disk
// itself. The system's code, 0 on success; a file system that has no such request for a
// folder (it writes names through by itself) counts as success.
[[nodiscard]] int SyncFolder(const std::string& folder);

// Replaces a whole file so that a crash at any moment leaves either the old or the new
// contents: the bytes are written beside it, put onto the disk, renamed over it, and the
// folder's names put onto the disk. The system's code, 0 on success.
[[nodiscard]] int WriteFileAtomically(const std::string& path, std::string_view bytes);

// The folder part of a path, with its separator ("D:\Data\" of "D:\Data\x.trc");
// empty for a bare name.
std::string FolderOfPath(std::string_view path);

}  // namespace korvalen

// POSIX side of files: Windows sharing imitated with flock, backslashes taken as separators.
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <utility>

#include "platform/file.h"
#include "platform/write_fault.h"

namespace korvalen {
namespace {

int Fd(std::intptr_t handle) {
    return static_cast<int>(handle);
}

// The program's paths are Windows paths (D:\Tools\InBox\ and the like). Here a
// backslash separates folders as well, so the same paths work for the tools and tests.
std::string NativePath(const std::string& path) {
    std::string native = path;
    for (char& c : native) {
        if (c == '\\')
            c = '/';
    }
    return native;
}

// False also when the size cannot be read: the file is then cut as asked.
bool IsEmpty(int fd) {
    struct stat status {};
    return ::fstat(fd, &status) == 0 && status.st_size == 0;
}

}  // namespace

void File::CloseQuietly() noexcept {
    if (IsOpen())
        ::close(Fd(std::exchange(handle_, kClosedHandle)));
}

bool File::Open(const std::string& path, OpenMode mode, Sharing sharing, bool read_only) {
    CloseQuietly();
    path_ = path;
    int flags = O_CLOEXEC | (read_only ? O_RDONLY : O_RDWR);
    if (mode != OpenMode::OpenExisting)
        flags |= O_CREAT;
    // Not O_TRUNC: a file held exclusively by someone else must not be cut before the
    // lock below has been refused.
    const int fd = ::open(NativePath(path).c_str(), flags, 0666);
    if (fd < 0) {
        error_code_ = errno;
        return false;
    }
    // A folder opens for reading here, where Windows refuses it: it is no file.
    struct stat status {};
    if (::fstat(fd, &status) == 0 && S_ISDIR(status.st_mode)) {
        error_code_ = EISDIR;
        ::close(fd);
        return false;
    }
    // As on Windows, an exclusive opener is refused while anybody holds the file, and a
    // shared one while an exclusive holder has it.
    const int lock = sharing == Sharing::Exclusive ? LOCK_EX : LOCK_SH;
    if (::flock(fd, lock | LOCK_NB) != 0) {
        error_code_ = errno;
        ::close(fd);
        return false;
    }
    // An empty file is left alone: ext4 writes back at its close a file that was cut to
    // length 0, which made closing a pass's new message files the slowest step of all.
    if (mode == OpenMode::CreateOrTruncate && !IsEmpty(fd) && ::ftruncate(fd, 0) != 0) {
        error_code_ = errno;
        ::close(fd);
        return false;
    }
    // Not O_APPEND, which would send every write to the end even after a Seek: positioned
    // once, as on Windows.
    if (mode == OpenMode::AppendOrCreate && ::lseek(fd, 0, SEEK_END) < 0) {
        error_code_ = errno;
        ::close(fd);
        return false;
    }
    handle_ = fd;
    error_code_ = 0;
    return true;
}

bool File::IsOpen() const {
    return handle_ >= 0;
}

void File::Fail(const char* operation) {
    error_code_ = errno;
    throw FileError(std::string(operation) + " failed: " + path_, error_code_, path_);
}

std::size_t File::Read(void* buffer, std::size_t size) {
    for (;;) {
        const ssize_t n = ::read(Fd(handle_), buffer, size);
        if (n >= 0)
            return static_cast<std::size_t>(n);
        if (errno != EINTR)
            Fail("read");
    }
}

void File::Write(const void* data, std::size_t size) {
    const std::size_t allowed =
        AnyWriteFault() ? BytesBeforeWriteFault(path_, Position(), size) : size;
    const auto* bytes = static_cast<const char*>(data);
    for (std::size_t left = allowed; left > 0;) {
        const ssize_t n = ::write(Fd(handle_), bytes, left);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            Fail("write");
        }
        if (n == 0) {
            errno = ENOSPC;
            Fail("write");
        }
        bytes += n;
        left -= static_cast<std::size_t>(n);
    }
    if (allowed < size) {
        errno = ENOSPC;
        Fail("write");
    }
}

std::int64_t File::Position() {
    const off_t at = ::lseek(Fd(handle_), 0, SEEK_CUR);
    if (at < 0)
        Fail("seek");
    return at;
}

int DamagedFileErrorCode() {
    return EBADMSG;
}

int DiskFullErrorCode() {
    return ENOSPC;
}

void File::Seek(std::int64_t offset) {
    if (::lseek(Fd(handle_), static_cast<off_t>(offset), SEEK_SET) < 0)
        Fail("seek");
}

void File::Truncate(std::int64_t length) {
    if (::ftruncate(Fd(handle_), static_cast<off_t>(length)) != 0)
        Fail("truncate");
    Seek(length);
}

std::int64_t File::Length() {
    struct stat st {};
    if (::fstat(Fd(handle_), &st) != 0)
        Fail("stat");
    return static_cast<std::int64_t>(st.st_size);
}

void File::Flush() {
    if (::fsync(Fd(handle_)) != 0)
        Fail("flush");
}

void File::StartWriteBehind() noexcept {
#ifdef __linux__
    // Linux keeps written pages in its cache for up to half a minute; a pass that puts
    // its files onto the disk at its end would wait for all of them at once.
    ::sync_file_range(Fd(handle_), 0, 0, SYNC_FILE_RANGE_WRITE);
#endif
}

void File::Close() {
    if (!IsOpen())
        return;
    const int fd = Fd(std::exchange(handle_, kClosedHandle));
    if (::close(fd) != 0 && errno != EINTR)
        Fail("close");
}

bool FileExists(const std::string& path) {
    struct stat st {};
    return ::stat(NativePath(path).c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool FolderExists(const std::string& path) {
    struct stat st {};
    return ::stat(NativePath(path).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

int MakeFolder(const std::string& path) {
    return ::mkdir(NativePath(path).c_str(), 0777) == 0 ? 0 : errno;
}

int CopyFileReplacing(const std::string& from, const std::string& to) {
    File source;
    if (!source.Open(from, OpenMode::OpenExisting, Sharing::Shared, true)) {
        return source.error_code();
    }
    File target;
    if (!target.Open(to, OpenMode::CreateOrTruncate, Sharing::Shared))
        return target.error_code();
    try {
        char buffer[64 * 1024];
        for (std::size_t n; (n = source.Read(buffer, sizeof buffer)) > 0;)
            target.Write(buffer, n);
        target.Close();
    } catch (const FileError& e) {
        return e.code();
    }
    return 0;
}

int ReplaceFileWith(const std::string& from, const std::string& to) {
    return std::rename(NativePath(from).c_str(), NativePath(to).c_str()) == 0 ? 0 : errno;
}

// renameat2 refuses a name that exists in the same step as it renames; a file system
// that cannot do that (some network and FUSE mounts) gets a hard link, which fails when
// the new name exists, and the old name then goes; one without links (FAT) gets a plain
// rename after a look for the name.
int RenameWithoutReplacing(const std::string& from, const std::string& to) {
    const std::string source = NativePath(from);
    const std::string target = NativePath(to);
    if (::renameat2(AT_FDCWD, source.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP)
        return errno;
    if (::link(source.c_str(), target.c_str()) == 0)
        return ::unlink(source.c_str()) == 0 ? 0 : errno;
    if (errno != EPERM && errno != ENOSYS && errno != EOPNOTSUPP)
        return errno;
    struct stat st {};
    if (::lstat(target.c_str(), &st) == 0)
        return EEXIST;
    return std::rename(source.c_str(), target.c_str()) == 0 ? 0 : errno;
}

bool NameTaken(int code) {
    return code == EEXIST;
}

bool NotFound(int code) {
    return code == ENOENT || code == ENOTDIR;
}

// A file held exclusively by another (its flock taken) refuses an opener so.
bool SharingViolation(int code) {
    return code == EWOULDBLOCK || code == EAGAIN;
}

bool RemoveFile(const std::string& path) {
    return ::unlink(NativePath(path).c_str()) == 0;
}

bool RemoveFolder(const std::string& path) {
    return ::rmdir(NativePath(path).c_str()) == 0;
}

std::optional<std::vector<std::string>> ListFolder(const std::string& folder, int* error_code) {
    DIR* dir = ::opendir(NativePath(folder).c_str());
    if (!dir) {
        if (error_code)
            *error_code = errno;
        return std::nullopt;
    }
    std::vector<std::string> names;
    errno = 0;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..")
            names.push_back(name);
    }
    const int code = errno;
    ::closedir(dir);
    if (code != 0) {
        if (error_code)
            *error_code = code;
        return std::nullopt;
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::optional<FileFacts> LookAtFile(const std::string& path, int* error_code) {
    struct stat st {};
    if (::stat(NativePath(path).c_str(), &st) != 0) {
        if (error_code)
            *error_code = errno;
        return std::nullopt;
    }
    FileFacts facts;
    facts.id = {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
    facts.size = static_cast<std::int64_t>(st.st_size);
    facts.links = static_cast<std::uint32_t>(st.st_nlink);
    facts.folder = S_ISDIR(st.st_mode);
    return facts;
}

std::vector<std::string> FolderEntries(const std::string& folder) {
    return ListFolder(folder).value_or(std::vector<std::string>{});
}

std::optional<std::int64_t> FileSize(const std::string& path) {
    struct stat st {};
    if (::stat(NativePath(path).c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return std::nullopt;
    return static_cast<std::int64_t>(st.st_size);
}

int SyncFolder(const std::string& folder) {
    const int fd = ::open(NativePath(folder.empty() ? "." : folder).c_str(),
                          O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return errno;
    int code = ::fsync(fd) == 0 ? 0 : errno;
    // A file system that cannot sync a folder writes its names through by itself.
    if (code == EINVAL || code == EROFS)
        code = 0;
    ::close(fd);
    return code;
}

}  // namespace korvalen

// The C library's calls that write, sync, create, rename or remove, as the tool sees them
// with the layer preloaded: each one on a path or descriptor under the root is counted
// and recorded around the system's own call. Calls the layer makes itself, and calls
// outside the root, go straight through.
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <mutex>

#include "file_layer.h"
#include "real_calls.h"

using korvalen::powercut::Event;
using korvalen::powercut::EventKind;
using korvalen::powercut::FileLayer;
using korvalen::powercut::OpenFile;
using korvalen::powercut::ParentOf;
using korvalen::powercut::Real;

namespace {

thread_local bool inside_layer = false;

// The layer, when this call is the tool's and the layer is set up; the call's own work
// (a path resolved, a copy made) then does not come back here.
class LayerEntry {
  public:
    LayerEntry() : layer_(inside_layer ? nullptr : FileLayer::Active()) {
        if (layer_)
            inside_layer = true;
    }
    ~LayerEntry() {
        if (layer_)
            inside_layer = false;
    }
    LayerEntry(const LayerEntry&) = delete;
    LayerEntry& operator=(const LayerEntry&) = delete;
    FileLayer* layer() const { return layer_; }

  private:
    FileLayer* layer_;
};

// errno as the system's call left it, whatever the recording after it does.
class KeepErrno {
  public:
    KeepErrno() : saved_(errno) {}
    ~KeepErrno() { errno = saved_; }
    KeepErrno(const KeepErrno&) = delete;
    KeepErrno& operator=(const KeepErrno&) = delete;

  private:
    int saved_;
};

int Fail(int error) {
    errno = error;
    return -1;
}

int OpenAt(int dirfd, const char* path, int flags, mode_t mode) {
    const LayerEntry entry;
    FileLayer* layer = entry.layer();
    const auto relative = layer ? layer->UnderRoot(dirfd, path) : std::nullopt;
    if (!relative)
        return Real().openat(dirfd, path, flags, mode);
    const std::lock_guard lock(layer->mutex());
    if (flags & (O_CREAT | O_TRUNC))
        layer->Count("open", *relative);
    if (const auto error = layer->Fault("open", *relative))
        return Fail(*error);
    struct stat before {};
    const bool existed = ::fstatat(dirfd, path, &before, 0) == 0;
    const int fd = Real().openat(dirfd, path, flags, mode);
    if (fd < 0)
        return fd;
    const KeepErrno keep;
    struct stat status {};
    ::fstat(fd, &status);
    const bool folder = S_ISDIR(status.st_mode);
    const bool created = !existed && (flags & O_CREAT);
    const OpenFile file{*relative, folder,
                        folder ? 0 : layer->Generation(status, created, *relative)};
    if ((flags & O_TMPFILE) == O_TMPFILE)
        layer->Record({.kind = EventKind::Unmodelled, .op = "O_TMPFILE", .path = *relative});
    else if (flags & (O_SYNC | O_DSYNC))  // every write would be a sync
        layer->Record({.kind = EventKind::Unmodelled, .op = "O_SYNC", .path = *relative});
    else if (created)
        layer->Record(
            {.kind = EventKind::Create, .generation = file.generation, .path = *relative});
    layer->Opened(fd, file);
    return fd;
}

mode_t ModeOf(int flags, va_list arguments) {
    return (flags & O_CREAT) || (flags & O_TMPFILE) == O_TMPFILE
               ? static_cast<mode_t>(va_arg(arguments, int))
               : 0;
}

// A call that changes the file behind a descriptor (a write, a truncation).
template <typename Call>
auto Changed(int fd, const char* op, const iovec* pieces, int count, Call call) {
    const LayerEntry entry;
    FileLayer* layer = entry.layer();
    if (!layer)
        return call();
    std::unique_lock lock(layer->mutex());
    const OpenFile* file = layer->Find(fd);
    if (!file) {
        for (int i = 0; i < count; ++i)
            layer->WroteOutside(pieces[i].iov_base, pieces[i].iov_len);
        lock.unlock();
        return call();
    }
    layer->Count(op, file->path);
    return call();
}

template <typename Call>
int Sync(int fd, Call call) {
    const LayerEntry entry;
    FileLayer* layer = entry.layer();
    if (!layer)
        return call();
    const std::lock_guard lock(layer->mutex());
    const OpenFile* found = layer->Find(fd);
    if (!found)
        return call();
    const OpenFile file = *found;
    layer->Count("fsync", file.path);
    if (layer->SkipsSync(file))
        return 0;
    const int result = call();
    if (result == 0) {
        const KeepErrno keep;
        layer->Synced(fd, file);
    }
    return result;
}

// rename, renameat, renameat2, link, linkat. A move whose new name lies in a folder with
// a planted fault fails there.
template <typename Call>
int Moved(const char* op, int from_dir, const char* from, int to_dir, const char* to, bool link,
          bool exchange, Call call) {
    const LayerEntry entry;
    FileLayer* layer = entry.layer();
    const auto source = layer ? layer->UnderRoot(from_dir, from) : std::nullopt;
    const auto target = layer ? layer->UnderRoot(to_dir, to) : std::nullopt;
    if (!source && !target)
        return call();
    const std::lock_guard lock(layer->mutex());
    layer->Count(op, source.value_or(""), target.value_or(""));
    if (target) {
        if (const auto error = layer->Fault("move", ParentOf(*target)))
            return Fail(*error);
    }
    bool folder = false;
    const std::uint64_t generation = layer->GenerationAt(from_dir, from, folder);
    const int result = call();
    if (result != 0)
        return result;
    const KeepErrno keep;
    if (exchange || (target && !source)) {
        layer->Record({.kind = EventKind::Unmodelled, .op = op, .path = target.value_or("")});
    } else if (target) {
        layer->Record({.kind = link ? EventKind::Link : EventKind::Rename,
                       .folder = folder,
                       .generation = generation,
                       .path = *source,
                       .to = *target});
    } else if (!link) {
        layer->Record({.kind = folder ? EventKind::RemoveFolder : EventKind::Remove,
                       .folder = folder,
                       .generation = generation,
                       .path = *source});
    }
    return result;
}

// unlink, unlinkat, remove, rmdir.
template <typename Call>
int Removed(int dirfd, const char* path, Call call) {
    const LayerEntry entry;
    FileLayer* layer = entry.layer();
    const auto relative = layer ? layer->UnderRoot(dirfd, path) : std::nullopt;
    if (!relative)
        return call();
    const std::lock_guard lock(layer->mutex());
    bool folder = false;
    const std::uint64_t generation = layer->GenerationAt(dirfd, path, folder);
    layer->Count(folder ? "rmdir" : "unlink", *relative);
    const int result = call();
    if (result == 0) {
        const KeepErrno keep;
        layer->Record({.kind = folder ? EventKind::RemoveFolder : EventKind::Remove,
                       .folder = folder,
                       .generation = generation,
                       .path = *relative});
    }
    return result;
}

template <typename Call>
int MadeFolder(int dirfd, const char* path, Call call) {
    const LayerEntry entry;
    FileLayer* layer = entry.layer();
    const auto relative = layer ? layer->UnderRoot(dirfd, path) : std::nullopt;
    if (!relative)
        return call();
    const std::lock_guard lock(layer->mutex());
    layer->Count("mkdir", *relative);
    const int result = call();
    if (result == 0) {
        const KeepErrno keep;
        layer->Record({.kind = EventKind::MakeFolder, .folder = true, .path = *relative});
    }
    return result;
}

template <typename Call>
int TruncatedByName(const char* path, Call call) {
    const LayerEntry entry;
    FileLayer* layer = entry.layer();
    const auto relative = layer ? layer->UnderRoot(AT_FDCWD, path) : std::nullopt;
    if (!relative)
        return call();
    const std::lock_guard lock(layer->mutex());
    layer->Count("truncate", *relative);
    return call();
}

// A second descriptor of a followed file is followed as well.
template <typename Call>
int Duplicated(int fd, Call call) {
    const LayerEntry entry;
    FileLayer* layer = entry.layer();
    if (!layer)
        return call();
    const std::lock_guard lock(layer->mutex());
    const int copy = call();
    if (copy >= 0) {
        if (const OpenFile* file = layer->Find(fd))
            layer->Opened(copy, *file);
        else
            layer->Closed(copy);
    }
    return copy;
}

// What the whole system or volume puts onto the disk at once: the model cannot say what
// that was, so a run that calls them is not to be trusted.
void SyncedEverything(const char* op) {
    const LayerEntry entry;
    if (FileLayer* layer = entry.layer()) {
        const std::lock_guard lock(layer->mutex());
        layer->Record({.kind = EventKind::Unmodelled, .op = op});
    }
}

}  // namespace

extern "C" {

int open(const char* path, int flags, ...) {
    va_list arguments;
    va_start(arguments, flags);
    const mode_t mode = ModeOf(flags, arguments);
    va_end(arguments);
    return OpenAt(AT_FDCWD, path, flags, mode);
}

int open64(const char* path, int flags, ...) {
    va_list arguments;
    va_start(arguments, flags);
    const mode_t mode = ModeOf(flags, arguments);
    va_end(arguments);
    return OpenAt(AT_FDCWD, path, flags, mode);
}

int openat(int dirfd, const char* path, int flags, ...) {
    va_list arguments;
    va_start(arguments, flags);
    const mode_t mode = ModeOf(flags, arguments);
    va_end(arguments);
    return OpenAt(dirfd, path, flags, mode);
}

int openat64(int dirfd, const char* path, int flags, ...) {
    va_list arguments;
    va_start(arguments, flags);
    const mode_t mode = ModeOf(flags, arguments);
    va_end(arguments);
    return OpenAt(dirfd, path, flags, mode);
}

// What a build with _FORTIFY_SOURCE calls instead of open and openat.
int __open_2(const char* path, int flags) {
    return OpenAt(AT_FDCWD, path, flags, 0);
}

int __openat_2(int dirfd, const char* path, int flags) {
    return OpenAt(dirfd, path, flags, 0);
}

int creat(const char* path, mode_t mode) {
    return OpenAt(AT_FDCWD, path, O_CREAT | O_WRONLY | O_TRUNC, mode);
}

int creat64(const char* path, mode_t mode) {
    return OpenAt(AT_FDCWD, path, O_CREAT | O_WRONLY | O_TRUNC, mode);
}

int close(int fd) {
    const LayerEntry entry;
    if (FileLayer* layer = entry.layer()) {
        const std::lock_guard lock(layer->mutex());
        layer->Closed(fd);
    }
    return Real().close(fd);
}

int dup(int fd) noexcept {
    return Duplicated(fd, [&] { return Real().dup(fd); });
}

int dup2(int fd, int copy) noexcept {
    return Duplicated(fd, [&] { return Real().dup2(fd, copy); });
}

int dup3(int fd, int copy, int flags) noexcept {
    return Duplicated(fd, [&] { return Real().dup3(fd, copy, flags); });
}

void sync() noexcept {
    SyncedEverything("sync");
    Real().sync();
}

int syncfs(int fd) noexcept {
    SyncedEverything("syncfs");
    return Real().syncfs(fd);
}

ssize_t read(int fd, void* buffer, size_t size) {
    const LayerEntry entry;
    FileLayer* layer = entry.layer();
    if (layer && layer->FailsReads()) {
        const std::lock_guard lock(layer->mutex());
        if (const OpenFile* file = layer->Find(fd)) {
            if (const auto error = layer->ReadFault(file->path))
                return Fail(*error);
        }
    }
    return Real().read(fd, buffer, size);
}

ssize_t write(int fd, const void* bytes, size_t size) {
    const iovec piece{const_cast<void*>(bytes), size};
    return Changed(fd, "write", &piece, 1, [&] { return Real().write(fd, bytes, size); });
}

ssize_t pwrite(int fd, const void* bytes, size_t size, off_t offset) {
    const iovec piece{const_cast<void*>(bytes), size};
    return Changed(fd, "write", &piece, 1, [&] { return Real().pwrite(fd, bytes, size, offset); });
}

ssize_t pwrite64(int fd, const void* bytes, size_t size, off_t offset) {
    return pwrite(fd, bytes, size, offset);
}

ssize_t writev(int fd, const iovec* pieces, int count) {
    return Changed(fd, "write", pieces, count, [&] { return Real().writev(fd, pieces, count); });
}

ssize_t pwritev(int fd, const iovec* pieces, int count, off_t offset) {
    return Changed(fd, "write", pieces, count,
                   [&] { return Real().pwritev(fd, pieces, count, offset); });
}

ssize_t pwritev64(int fd, const iovec* pieces, int count, off_t offset) {
    return pwritev(fd, pieces, count, offset);
}

int ftruncate(int fd, off_t length) noexcept {
    return Changed(fd, "truncate", nullptr, 0, [&] { return Real().ftruncate(fd, length); });
}

int ftruncate64(int fd, off_t length) noexcept {
    return ftruncate(fd, length);
}

int truncate(const char* path, off_t length) noexcept {
    return TruncatedByName(path, [&] { return Real().truncate(path, length); });
}

int truncate64(const char* path, off_t length) noexcept {
    return truncate(path, length);
}

int fsync(int fd) {
    return Sync(fd, [&] { return Real().fsync(fd); });
}

int fdatasync(int fd) {
    return Sync(fd, [&] { return Real().fdatasync(fd); });
}

int rename(const char* from, const char* to) noexcept {
    return Moved("rename", AT_FDCWD, from, AT_FDCWD, to, false, false,
                 [&] { return Real().rename(from, to); });
}

int renameat(int from_dir, const char* from, int to_dir, const char* to) noexcept {
    return Moved("rename", from_dir, from, to_dir, to, false, false,
                 [&] { return Real().renameat(from_dir, from, to_dir, to); });
}

int renameat2(int from_dir, const char* from, int to_dir, const char* to, unsigned flags) noexcept {
    return Moved("rename", from_dir, from, to_dir, to, false, (flags & RENAME_EXCHANGE) != 0,
                 [&] { return Real().renameat2(from_dir, from, to_dir, to, flags); });
}

int link(const char* from, const char* to) noexcept {
    return Moved("link", AT_FDCWD, from, AT_FDCWD, to, true, false,
                 [&] { return Real().link(from, to); });
}

int linkat(int from_dir, const char* from, int to_dir, const char* to, int flags) noexcept {
    return Moved("link", from_dir, from, to_dir, to, true, false,
                 [&] { return Real().linkat(from_dir, from, to_dir, to, flags); });
}

int unlink(const char* path) noexcept {
    return Removed(AT_FDCWD, path, [&] { return Real().unlink(path); });
}

int unlinkat(int dirfd, const char* path, int flags) noexcept {
    return Removed(dirfd, path, [&] { return Real().unlinkat(dirfd, path, flags); });
}

int remove(const char* path) noexcept {
    return Removed(AT_FDCWD, path, [&] { return Real().remove(path); });
}

int rmdir(const char* path) noexcept {
    return Removed(AT_FDCWD, path, [&] { return Real().rmdir(path); });
}

int mkdir(const char* path, mode_t mode) noexcept {
    return MadeFolder(AT_FDCWD, path, [&] { return Real().mkdir(path, mode); });
}

int mkdirat(int dirfd, const char* path, mode_t mode) noexcept {
    return MadeFolder(dirfd, path, [&] { return Real().mkdirat(dirfd, path, mode); });
}

// A program may reach renameat2 through syscall() where its C library lacks the wrapper.
// Six arguments are read whatever the call takes: on x86-64 they are registers.
long syscall(long number, ...) noexcept {
    va_list arguments;
    va_start(arguments, number);
    long a[6];
    for (long& argument : a)
        argument = va_arg(arguments, long);
    va_end(arguments);
    if (number == SYS_renameat2) {
        return renameat2(static_cast<int>(a[0]), reinterpret_cast<const char*>(a[1]),
                         static_cast<int>(a[2]), reinterpret_cast<const char*>(a[3]),
                         static_cast<unsigned>(a[4]));
    }
    return Real().syscall(number, a[0], a[1], a[2], a[3], a[4], a[5]);
}

}  // extern "C"

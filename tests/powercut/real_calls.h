// The system's own functions behind the layer's (the next definition after the layer's,
// found once). The layer calls only these, never its own names.
#pragma once

#include <dlfcn.h>
#include <sys/types.h>
#include <sys/uio.h>

#include <type_traits>

namespace korvalen::powercut {

struct RealCalls {
    int (*open)(const char*, int, ...);
    int (*openat)(int, const char*, int, ...);
    int (*creat)(const char*, mode_t);
    ssize_t (*write)(int, const void*, size_t);
    ssize_t (*pwrite)(int, const void*, size_t, off_t);
    ssize_t (*writev)(int, const iovec*, int);
    ssize_t (*pwritev)(int, const iovec*, int, off_t);
    ssize_t (*read)(int, void*, size_t);
    int (*ftruncate)(int, off_t);
    int (*truncate)(const char*, off_t);
    int (*fsync)(int);
    int (*fdatasync)(int);
    int (*rename)(const char*, const char*);
    int (*renameat)(int, const char*, int, const char*);
    int (*renameat2)(int, const char*, int, const char*, unsigned);
    int (*link)(const char*, const char*);
    int (*linkat)(int, const char*, int, const char*, int);
    int (*unlink)(const char*);
    int (*unlinkat)(int, const char*, int);
    int (*remove)(const char*);
    int (*mkdir)(const char*, mode_t);
    int (*mkdirat)(int, const char*, mode_t);
    int (*rmdir)(const char*);
    int (*close)(int);
    int (*dup)(int);
    int (*dup2)(int, int);
    int (*dup3)(int, int, int);
    void (*sync)();
    int (*syncfs)(int);
    long (*syscall)(long, ...);
};

// Thread-safe on first use; usable before the layer itself is set up.
inline const RealCalls& Real() {
    static const RealCalls calls = [] {
        const auto next = [](auto& pointer, const char* name) {
            pointer = reinterpret_cast<std::remove_reference_t<decltype(pointer)>>(
                ::dlsym(RTLD_NEXT, name));
        };
        RealCalls c{};
        next(c.open, "open");
        next(c.openat, "openat");
        next(c.creat, "creat");
        next(c.write, "write");
        next(c.pwrite, "pwrite");
        next(c.writev, "writev");
        next(c.pwritev, "pwritev");
        next(c.read, "read");
        next(c.ftruncate, "ftruncate");
        next(c.truncate, "truncate");
        next(c.fsync, "fsync");
        next(c.fdatasync, "fdatasync");
        next(c.rename, "rename");
        next(c.renameat, "renameat");
        next(c.renameat2, "renameat2");
        next(c.link, "link");
        next(c.linkat, "linkat");
        next(c.unlink, "unlink");
        next(c.unlinkat, "unlinkat");
        next(c.remove, "remove");
        next(c.mkdir, "mkdir");
        next(c.mkdirat, "mkdirat");
        next(c.rmdir, "rmdir");
        next(c.close, "close");
        next(c.dup, "dup");
        next(c.dup2, "dup2");
        next(c.dup3, "dup3");
        next(c.sync, "sync");
        next(c.syncfs, "syncfs");
        next(c.syscall, "syscall");
        return c;
    }();
    return calls;
}

}  // namespace korvalen::powercut

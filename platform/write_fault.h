// A disk that fills up on purpose, so that the writers' failure paths can be tested on
// every system through the system's own write and truncate calls.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace korvalen {

// While one lives, a file whose path begins with `path_prefix` takes no byte at or past
// the offset `limit`: a write that reaches it writes the part below the limit and then
// fails with the system's code for a full disk, as a nearly full disk does; a write
// entirely past it fails at once. One at a time; for tests, which set it around the
// writes they want refused.
class ScopedWriteFault {
  public:
    ScopedWriteFault(std::string path_prefix, std::int64_t limit);
    ~ScopedWriteFault();
    ScopedWriteFault(const ScopedWriteFault&) = delete;
    ScopedWriteFault& operator=(const ScopedWriteFault&) = delete;
};

// For File::Write: false when no fault is set, which costs one atomic load.
bool AnyWriteFault();
// How many of `size` bytes written at `position` of the file at `path` may reach it.
std::size_t BytesBeforeWriteFault(const std::string& path, std::int64_t position, std::size_t size);

// The system's code for a full disk: ENOSPC, or ERROR_DISK_FULL on Windows.
int DiskFullErrorCode();

}  // namespace korvalen

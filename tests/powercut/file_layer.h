// The layer's state in a tool's process: what lies under the root, the descriptors open
// there, the count of calls, the record in the store, the planted faults. The interposed
// functions (interposed_calls.cpp) take the lock, then call these.
#pragma once

#include <sys/stat.h>

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <utility>

#include "planted_faults.h"
#include "power_cut_events.h"

namespace korvalen::powercut {

struct OpenFile {
    std::string path;  // relative to the root
    bool folder = false;
    std::uint64_t generation = 0;
};

class FileLayer {
  public:
    // The layer of this process, or none when no root is given.
    static FileLayer* Active();

    // A path as the root sees it ("." for the root), or none when it lies outside. The
    // folder is resolved (symbolic links, "..", a relative path); the last name is not.
    std::optional<std::string> UnderRoot(int dirfd, const char* path) const;

    std::mutex& mutex() { return mutex_; }

    // Before a counted call: recorded, and the process ends here when it is the one.
    void Count(const char* op, const std::string& path, const std::string& to = {});
    // The planted error of this call, recorded, or none.
    std::optional<int> Fault(const char* op, const std::string& path);
    // A read of a file with a planted read fault: recorded (a census finds which to fail),
    // and failed when it is the one.
    std::optional<int> ReadFault(const std::string& path);
    bool SkipsSync(const OpenFile& file);
    bool FailsReads() const { return faults_.FailsReads(); }

    // The generation of the file at `status`; `created`: a new one.
    std::uint64_t Generation(const struct stat& status, bool created, const std::string& path);
    // The generation of what `path` names now (0 for a folder or nothing).
    std::uint64_t GenerationAt(int dirfd, const char* path, bool& folder);

    void Opened(int fd, OpenFile file) { open_[fd] = std::move(file); }
    void Closed(int fd) { open_.erase(fd); }
    const OpenFile* Find(int fd) const;

    // A write outside the root: the acknowledgement to the reader is noted.
    void WroteOutside(const void* bytes, std::size_t size);
    // A sync succeeded: what it made durable goes into the store.
    void Synced(int fd, const OpenFile& file);

    void Record(Event event);

  private:
    FileLayer(std::string root, std::string store, std::uint64_t cut_at, PlantedFaults faults);
    void RecordWhatExists(const std::string& folder, const std::string& relative);

    std::mutex mutex_;
    std::string root_;
    std::string store_;
    int events_fd_ = -1;
    std::uint64_t cut_at_ = 0;
    std::uint64_t calls_ = 0;
    std::uint64_t copies_ = 0;
    std::uint64_t generations_ = 0;
    PlantedFaults faults_;
    std::map<std::pair<dev_t, ino_t>, std::uint64_t> generation_of_;
    std::map<int, OpenFile> open_;

    template <typename T>
    friend class NeverDestroyed;
};

}  // namespace korvalen::powercut

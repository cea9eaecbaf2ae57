// The layer's state: set up from the environment at the first call, never torn down (a
// tool's threads may still call in while the process exits).
#include "file_layer.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <cerrno>
#include <new>
#include <vector>

#include "layer_environment.h"
#include "real_calls.h"

namespace korvalen::powercut {

template <typename T>
class NeverDestroyed {
  public:
    template <typename... Arguments>
    explicit NeverDestroyed(Arguments&&... arguments) {
        ::new (static_cast<void*>(bytes_)) T(std::forward<Arguments>(arguments)...);
    }
    T& get() { return *std::launder(reinterpret_cast<T*>(bytes_)); }

  private:
    alignas(T) unsigned char bytes_[sizeof(T)];
};

namespace {

std::string Lexical(const std::string& absolute) {
    std::vector<std::string> parts;
    for (std::size_t at = 0; at <= absolute.size();) {
        std::size_t end = absolute.find('/', at);
        if (end == std::string::npos)
            end = absolute.size();
        const std::string part = absolute.substr(at, end - at);
        if (part == "..") {
            if (!parts.empty())
                parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        at = end + 1;
    }
    std::string path;
    for (const std::string& part : parts)
        path += "/" + part;
    return path.empty() ? "/" : path;
}

std::string LinkTarget(const std::string& link) {
    char buffer[PATH_MAX];
    const ssize_t n = ::readlink(link.c_str(), buffer, sizeof buffer - 1);
    return n > 0 ? std::string(buffer, static_cast<std::size_t>(n)) : std::string();
}

std::string Resolved(const std::string& path) {
    char buffer[PATH_MAX];
    return ::realpath(path.c_str(), buffer) ? std::string(buffer) : path;
}

}  // namespace

FileLayer* FileLayer::Active() {
    static FileLayer* const layer = []() -> FileLayer* {
        const char* root = std::getenv(kRootVariable);
        if (!root || !*root)
            return nullptr;
        const char* store = std::getenv(kStoreVariable);
        const char* cut_at = std::getenv(kCutAtVariable);
        const char* faults = std::getenv(kFaultsVariable);
        std::string problems;
        PlantedFaults planted = PlantedFaults::Parse(faults ? faults : "", &problems);
        static NeverDestroyed<FileLayer> instance(Resolved(root), store ? store : "",
                                                  cut_at ? std::strtoull(cut_at, nullptr, 10) : 0,
                                                  std::move(planted));
        if (!problems.empty())
            instance.get().Record(
                {.kind = EventKind::Unmodelled, .op = "faults", .path = problems});
        return &instance.get();
    }();
    return layer;
}

FileLayer::FileLayer(std::string root, std::string store, std::uint64_t cut_at,
                     PlantedFaults faults)
    : root_(std::move(root)),
      store_(std::move(store)),
      cut_at_(cut_at),
      faults_(std::move(faults)) {
    if (!store_.empty()) {
        events_fd_ = Real().open((store_ + "/" + kEventsName).c_str(),
                                 O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    }
    Record({.kind = EventKind::Exists, .folder = true, .path = "."});
    RecordWhatExists(root_, "");
}

// Parents before what they hold; names of one file share its generation.
void FileLayer::RecordWhatExists(const std::string& folder, const std::string& relative) {
    DIR* dir = ::opendir(folder.c_str());
    if (!dir)
        return;
    std::vector<std::string> names;
    while (const dirent* entry = ::readdir(dir)) {
        if (strcmp(entry->d_name, ".") != 0 && strcmp(entry->d_name, "..") != 0)
            names.emplace_back(entry->d_name);
    }
    ::closedir(dir);
    for (const std::string& name : names) {
        const std::string path = relative.empty() ? name : relative + "/" + name;
        struct stat status {};
        if (::lstat((folder + "/" + name).c_str(), &status) != 0)
            continue;
        if (S_ISDIR(status.st_mode)) {
            Record({.kind = EventKind::Exists, .folder = true, .path = path});
            RecordWhatExists(folder + "/" + name, path);
        } else if (S_ISREG(status.st_mode)) {
            Record({.kind = EventKind::Exists,
                    .generation = Generation(status, false, {}),
                    .path = path});
        } else {
            Record({.kind = EventKind::Unmodelled, .op = "not a file", .path = path});
        }
    }
}

std::optional<std::string> FileLayer::UnderRoot(int dirfd, const char* path) const {
    if (!path)
        return std::nullopt;
    std::string absolute = path;
    if (path[0] != '/') {
        std::string base;
        if (dirfd == AT_FDCWD) {
            char cwd[PATH_MAX];
            base = ::getcwd(cwd, sizeof cwd) ? cwd : "";
        } else {
            base = LinkTarget("/proc/self/fd/" + std::to_string(dirfd));
        }
        absolute = base + "/" + absolute;
    }
    const std::string lexical = Lexical(absolute);
    if (lexical == "/")
        return std::nullopt;
    const std::size_t slash = lexical.rfind('/');
    const std::string folder = Resolved(slash == 0 ? "/" : lexical.substr(0, slash));
    const std::string full = (folder == "/" ? "" : folder) + lexical.substr(slash);
    if (full == root_)
        return ".";
    if (full.size() > root_.size() && full.compare(0, root_.size(), root_) == 0 &&
        full[root_.size()] == '/') {
        return full.substr(root_.size() + 1);
    }
    return std::nullopt;
}

void FileLayer::Count(const char* op, const std::string& path, const std::string& to) {
    ++calls_;
    Record({.kind = EventKind::Call, .number = calls_, .op = op, .path = path, .to = to});
    if (calls_ == cut_at_)
        ::_exit(kCutStatus);
}

std::optional<int> FileLayer::Fault(const char* op, const std::string& path) {
    const auto error = faults_.Take(op, path);
    if (error)
        Record({.kind = EventKind::Fault, .op = op, .path = path});
    return error;
}

std::optional<int> FileLayer::ReadFault(const std::string& path) {
    if (!faults_.Watches("read", path))
        return std::nullopt;
    Record({.kind = EventKind::Read, .number = calls_, .path = path});
    return Fault("read", path);
}

bool FileLayer::SkipsSync(const OpenFile& file) {
    if (!faults_.SkipsSync(file.folder))
        return false;
    Record({.kind = EventKind::Fault, .op = "nosync", .path = file.path});
    return true;
}

std::uint64_t FileLayer::Generation(const struct stat& status, bool created,
                                    const std::string& path) {
    const auto key = std::make_pair(status.st_dev, status.st_ino);
    const auto found = generation_of_.find(key);
    if (!created && found != generation_of_.end())
        return found->second;
    const std::uint64_t generation = ++generations_;
    generation_of_[key] = generation;
    // Made under the root by someone the layer does not follow.
    if (!created && !path.empty())
        Record({.kind = EventKind::Unmodelled, .op = "unseen file", .path = path});
    return generation;
}

std::uint64_t FileLayer::GenerationAt(int dirfd, const char* path, bool& folder) {
    struct stat status {};
    folder = false;
    if (::fstatat(dirfd, path, &status, AT_SYMLINK_NOFOLLOW) != 0)
        return 0;
    folder = S_ISDIR(status.st_mode);
    return folder ? 0 : Generation(status, false, path);
}

const OpenFile* FileLayer::Find(int fd) const {
    const auto found = open_.find(fd);
    return found == open_.end() ? nullptr : &found->second;
}

void FileLayer::WroteOutside(const void* bytes, std::size_t size) {
    if (::memmem(bytes, size, "(SDD)", 5))
        Record({.kind = EventKind::Ack, .number = calls_});
}

void FileLayer::Synced(int fd, const OpenFile& file) {
    if (file.folder) {
        Record({.kind = EventKind::FolderSync, .folder = true, .path = file.path});
        return;
    }
    if (store_.empty())
        return;
    // The whole file as it stands, through a description of its own (the tool's offset
    // stays where it is).
    const std::uint64_t copy = ++copies_;
    const int from =
        Real().open(("/proc/self/fd/" + std::to_string(fd)).c_str(), O_RDONLY | O_CLOEXEC);
    const int to = Real().open((store_ + "/" + kCopyPrefix + std::to_string(copy)).c_str(),
                               O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    bool whole = from >= 0 && to >= 0;
    char buffer[64 * 1024];
    for (ssize_t n; whole && (n = Real().read(from, buffer, sizeof buffer)) != 0;)
        whole = n > 0 && Real().write(to, buffer, static_cast<std::size_t>(n)) == n;
    if (from >= 0)
        Real().close(from);
    if (to >= 0)
        Real().close(to);
    if (!whole) {
        Record({.kind = EventKind::Unmodelled, .op = "copy failed", .path = file.path});
        return;
    }
    Record({.kind = EventKind::FileSync,
            .generation = file.generation,
            .number = copy,
            .path = file.path});
}

// One write per line, under the lock: a power cut ends the process between two lines.
void FileLayer::Record(Event event) {
    if (events_fd_ < 0)
        return;
    const int saved = errno;
    const std::string line = FormatEvent(event);
    Real().write(events_fd_, line.data(), line.size());
    errno = saved;
}

}  // namespace korvalen::powercut

// korvalen-delivery-floor: the least that a delivery safe against a power cut costs, to
// hold the pass's delivery against. It writes the bytes of every file of FROM into as many
// files in a staging folder of INTO, starts the write-back of all of them together, syncs
// each, syncs the folder, renames each into INTO and syncs INTO: what the pass does with
// its message files, without the decoding.
//   korvalen-delivery-floor FROM INTO
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

struct Staged {
    std::string name;
    std::string bytes;
    int fd = -1;
};

bool Fail(const std::string& what) {
    std::perror(what.c_str());
    return false;
}

bool SyncFolder(const std::string& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY);
    const bool ok = fd >= 0 && ::fsync(fd) == 0;
    if (fd >= 0)
        ::close(fd);
    return ok || Fail("fsync " + folder);
}

bool ReadAll(const std::string& path, std::string& bytes) {
    const int fd = ::open(path.c_str(), O_RDONLY);
    if (fd < 0)
        return Fail(path);
    char buffer[1 << 16];
    for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) > 0;)
        bytes.append(buffer, static_cast<std::size_t>(n));
    ::close(fd);
    return true;
}

bool Deliver(const std::string& from, const std::string& into) {
    std::vector<Staged> files;
    DIR* dir = ::opendir(from.c_str());
    if (!dir)
        return Fail(from);
    while (const dirent* entry = ::readdir(dir)) {
        Staged file{entry->d_name, {}, -1};
        if (file.name != "." && file.name != ".." && !ReadAll(from + "/" + file.name, file.bytes))
            return false;
        if (file.name != "." && file.name != "..")
            files.push_back(std::move(file));
    }
    ::closedir(dir);

    const std::string staging = into + "/staging";
    if ((::mkdir(into.c_str(), 0777) != 0 && errno != EEXIST) || !SyncFolder(into + "/.."))
        return Fail(into);
    if (::mkdir(staging.c_str(), 0777) != 0 || !SyncFolder(into))
        return Fail(staging);
    for (Staged& file : files) {
        file.fd = ::open((staging + "/" + file.name).c_str(), O_WRONLY | O_CREAT | O_EXCL, 0666);
        if (file.fd < 0 || ::write(file.fd, file.bytes.data(), file.bytes.size()) !=
                               static_cast<ssize_t>(file.bytes.size())) {
            return Fail(file.name);
        }
        ::sync_file_range(file.fd, 0, 0, SYNC_FILE_RANGE_WRITE);
    }
    for (Staged& file : files) {
        if (::fsync(file.fd) != 0 || ::close(file.fd) != 0)
            return Fail(file.name);
    }
    if (!SyncFolder(staging))
        return false;
    for (const Staged& file : files) {
        if (::rename((staging + "/" + file.name).c_str(), (into + "/" + file.name).c_str()) != 0)
            return Fail(file.name);
    }
    if (!SyncFolder(into) || ::rmdir(staging.c_str()) != 0 || !SyncFolder(into))
        return false;
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: korvalen-delivery-floor FROM INTO\n");
        return 2;
    }
    return Deliver(argv[1], argv[2]) ? 0 : 1;
}

// What the file layer does alike on both systems: handing an open file on, reading a whole
// file, creating a chain of folders.
#include "platform/file.h"

#include <utility>

#include "platform/write_fault.h"

namespace korvalen {

File::~File() {
    CloseQuietly();
}

File::File(File&& other) noexcept
    : handle_(std::exchange(other.handle_, kClosedHandle)),
      error_code_(other.error_code_),
      path_(std::move(other.path_)) {}

File& File::operator=(File&& other) noexcept {
    if (this != &other) {
        CloseQuietly();
        handle_ = std::exchange(other.handle_, kClosedHandle);
        error_code_ = other.error_code_;
        path_ = std::move(other.path_);
    }
    return *this;
}

bool ReadWholeFile(const std::string& path, std::string& bytes, int* error_code) {
    File file;
    if (!file.Open(path, OpenMode::OpenExisting, Sharing::Shared, true)) {
        if (error_code)
            *error_code = file.error_code();
        return false;
    }
    try {
        bytes.clear();
        char buffer[64 * 1024];
        for (std::size_t n; (n = file.Read(buffer, sizeof buffer)) > 0;)
            bytes.append(buffer, n);
    } catch (const FileError& e) {
        if (error_code)
            *error_code = e.code();
        return false;
    }
    return true;
}

bool CreateFolder(const std::string& path) {
    return MakeFolder(path) == 0;
}

int CreateFolders(const std::string& path) {
    std::string folder = path;
    while (folder.size() > 1 && (folder.back() == '\\' || folder.back() == '/'))
        folder.pop_back();
    if (folder.empty())
        return 0;
    if (FolderExists(folder))
        return 0;
    // The folders above first; a drive or a root is no folder to create.
    const std::size_t at = folder.find_last_of("\\/");
    const std::string parent = at == std::string::npos ? std::string() : folder.substr(0, at + 1);
    if (parent.size() > 1 && !(parent.size() == 3 && parent[1] == ':')) {
        if (const int code = CreateFolders(parent); code != 0)
            return code;
    }
    if (const int code = MakeFolder(folder); code != 0 && !FolderExists(folder))
        return code;
    // The new name is on the disk only once its parent's names are.
    return SyncFolder(parent.empty() ? std::string(".") : parent);
}

int WriteFileAtomically(const std::string& path, std::string_view bytes) {
    const std::string temporary = path + ".new";
    File file;
    if (!file.Open(temporary, OpenMode::CreateOrTruncate, Sharing::Exclusive))
        return file.error_code();
    try {
        file.Write(bytes);
        file.Flush();
        file.Close();
    } catch (const FileError& e) {
        file = File();
        RemoveFile(temporary);
        return e.code() != 0 ? e.code() : DiskFullErrorCode();
    }
    if (const int code = ReplaceFileWith(temporary, path); code != 0) {
        RemoveFile(temporary);
        return code;
    }
    return SyncFolder(FolderOfPath(path));
}

bool SameFile(const std::string& a, const std::string& b) {
    if (a == b)
        return true;
    const std::optional<FileFacts> first = LookAtFile(a);
    const std::optional<FileFacts> second = first ? LookAtFile(b) : std::nullopt;
    return first && second && first->id == second->id;
}

std::string FolderOfPath(std::string_view path) {
    const std::size_t at = path.find_last_of("\\/");
    return at == std::string_view::npos ? std::string() : std::string(path.substr(0, at + 1));
}

}  // namespace korvalen

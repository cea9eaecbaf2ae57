// Following the read log across its rotation.
#include "tools/read/read_log_follower.h"

#include "platform/file.h"
#include "platform/text_codec.h"

namespace korvalen {
namespace {

// The bytes of `path` from `offset` on; empty when there are none or it cannot be read.
std::string BytesFrom(const std::string& path, std::int64_t offset) {
    File file;
    if (!file.Open(path, OpenMode::OpenExisting, Sharing::Shared, true))
        return {};
    std::string bytes;
    try {
        const std::int64_t length = file.Length();
        if (length <= offset)
            return {};
        file.Seek(offset);
        bytes.resize(static_cast<std::size_t>(length - offset));
        bytes.resize(file.Read(bytes.data(), bytes.size()));
    } catch (const FileError&) {
        return {};
    }
    return bytes;
}

}  // namespace

ReadLogFollower::ReadLogFollower(std::string path, std::string older_path)
    : path_(std::move(path)), older_path_(std::move(older_path)), offset_(LengthOf(path_)) {}

std::int64_t ReadLogFollower::LengthOf(const std::string& path) {
    return FileSize(path).value_or(0);
}

std::vector<std::string> ReadLogFollower::NewLines() {
    std::lock_guard lock(mutex_);
    std::string bytes;
    if (LengthOf(path_) < offset_) {
        // Rotated: the rest of the log is now the older file's end, and the new log is
        // all new.
        bytes = BytesFrom(older_path_, offset_);
        offset_ = 0;
    }
    std::string current = BytesFrom(path_, offset_);
    // A line still being written waits for the next call.
    const std::size_t whole = current.rfind('\n');
    if (whole == std::string::npos) {
        current.clear();
    } else {
        current.resize(whole + 1);
    }
    offset_ += static_cast<std::int64_t>(current.size());
    bytes += current;

    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = bytes.find('\n', start)) != std::string::npos; start = end + 1) {
        std::string_view line(bytes.data() + start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        lines.push_back(Cp1251ToUtf8(line));
    }
    return lines;
}

}  // namespace korvalen

#include "planted_faults.h"

#include <cerrno>
#include <charconv>
#include <utility>

namespace korvalen::powercut {
namespace {

constexpr std::pair<std::string_view, int> kErrors[] = {
    {"ENOSPC", ENOSPC}, {"EACCES", EACCES}, {"EIO", EIO},       {"EMFILE", EMFILE},
    {"EPERM", EPERM},   {"EBUSY", EBUSY},   {"ENOENT", ENOENT}, {"EROFS", EROFS},
};

std::vector<std::string_view> Split(std::string_view text, char separator) {
    std::vector<std::string_view> parts;
    for (std::size_t at = 0;;) {
        const std::size_t end = text.find(separator, at);
        parts.push_back(text.substr(at, end == std::string_view::npos ? end : end - at));
        if (end == std::string_view::npos)
            return parts;
        at = end + 1;
    }
}

}  // namespace

PlantedFaults PlantedFaults::Parse(std::string_view text, std::string* problems) {
    PlantedFaults faults;
    for (std::string_view word : Split(text, ';')) {
        if (word.empty())
            continue;
        if (word == "nosync" || word == "nosync-files")
            faults.skip_file_syncs_ = true;
        if (word == "nosync" || word == "nosync-folders")
            faults.skip_folder_syncs_ = true;
        if (word.starts_with("nosync"))
            continue;
        const auto parts = Split(word, ':');
        Once once;
        bool known_error = false;
        if (parts.size() == 4) {
            once.op = parts[0];
            once.path = parts[1];
            std::from_chars(parts[2].data(), parts[2].data() + parts[2].size(), once.nth);
            for (const auto& [name, code] : kErrors) {
                if (name == parts[3]) {
                    once.error = code;
                    known_error = true;
                }
            }
        }
        if (!known_error || once.nth < 1 ||
            (once.op != "move" && once.op != "read" && once.op != "open")) {
            if (problems)
                *problems += std::string(word) + " ";
            continue;
        }
        faults.fails_reads_ = faults.fails_reads_ || once.op == "read";
        faults.once_.push_back(once);
    }
    return faults;
}

bool PlantedFaults::Watches(std::string_view op, std::string_view path) const {
    for (const Once& once : once_) {
        if (once.op == op && once.path == path)
            return true;
    }
    return false;
}

std::optional<int> PlantedFaults::Take(std::string_view op, std::string_view path) {
    for (Once& once : once_) {
        if (once.op == op && once.path == path && ++once.seen == once.nth)
            return once.error;
    }
    return std::nullopt;
}

}  // namespace korvalen::powercut

// The tools' command lines, read one argument at a time: an option's value follows it
// ("--inbox DIR", "-o DIR") or is joined to a long option ("--inbox=DIR"); a fault of the
// command line is a UsageError, which every tool ends with status 2.
#pragma once

#include <algorithm>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/console.h"

namespace korvalen {

struct UsageError {
    std::string text;
};

inline bool IsDigits(std::string_view text) {
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// A folder given on the command line, as the program names folders: with a separator at
// its end, since files are named by appending to it ("" stays the current folder).
inline std::string AsFolder(std::string folder) {
    if (!folder.empty() && folder.back() != '/' && folder.back() != '\\')
        folder += FolderSeparator();
    return folder;
}

class CommandLineCursor {
  public:
    explicit CommandLineCursor(const std::vector<std::string>& arguments) : arguments_(arguments) {}

    // Moves to the next argument, as it stands; false after the last.
    bool Next() {
        if (next_ >= arguments_.size())
            return false;
        arg_ = arguments_[next_++];
        inline_value_.reset();
        return true;
    }
    const std::string& arg() const { return arg_; }

    // Takes the argument as an option: "--inbox=DIR" becomes "--inbox" with its value
    // given. Which arguments are options is each tool's own rule ("-" may be a file).
    const std::string& TakeAsOption() {
        if (arg_.rfind("--", 0) == 0) {
            const std::size_t equals = arg_.find('=');
            if (equals != std::string::npos) {
                inline_value_ = arg_.substr(equals + 1);
                arg_.resize(equals);
            }
        }
        return arg_;
    }
    // The option's value: joined to it, or the next argument.
    std::string Value() {
        if (inline_value_)
            return *inline_value_;
        if (next_ >= arguments_.size())
            throw UsageError{"option " + arg_ + " needs a value"};
        return arguments_[next_++];
    }
    // For an option that takes none.
    void NoValue() const {
        if (inline_value_)
            throw UsageError{"option " + arg_ + " takes no value"};
    }

  private:
    const std::vector<std::string>& arguments_;
    std::size_t next_ = 0;
    std::string arg_;
    std::optional<std::string> inline_value_;
};

}  // namespace korvalen

// CommandScanner: finds the reader's five-byte commands in the bytes the program sends.
#include "tools/sim/command_scanner.h"

namespace korvalen::sim {
namespace {

constexpr std::size_t kCommandLength = 5;

bool IsCommandCharacter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

}  // namespace

std::vector<std::string> CommandScanner::Feed(std::string_view bytes) {
    std::vector<std::string> commands;
    for (const char c : bytes) {
        if (c == '(') {
            // A new opening bracket always starts over: "(QN(QND)" holds one command.
            pending_.assign(1, c);
        } else if (pending_.empty()) {
            continue;
        } else if (pending_.size() < kCommandLength - 1 && IsCommandCharacter(c)) {
            pending_ += c;
        } else if (pending_.size() == kCommandLength - 1 && c == ')') {
            pending_ += c;
            commands.push_back(std::move(pending_));
            pending_.clear();
        } else {
            pending_.clear();
        }
    }
    return commands;
}

}  // namespace korvalen::sim

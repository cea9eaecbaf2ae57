// The simulated reader's command scanner: commands found however the stream is cut.
#include "tools/sim/command_scanner.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace korvalen::sim {
namespace {

using namespace std::string_literals;
using Commands = std::vector<std::string>;

// Feeds `stream` in pieces of `piece` bytes (0: whole).
Commands Scan(const std::string& stream, std::size_t piece) {
    CommandScanner scanner;
    Commands found;
    const std::size_t step = piece == 0 ? stream.size() + 1 : piece;
    for (std::size_t at = 0; at < stream.size(); at += step) {
        for (std::string& command : scanner.Feed(std::string_view(stream).substr(at, step)))
            found.push_back(std::move(command));
    }
    return found;
}

TEST(SimCommandScanner, FindsEveryCommandInTheStreamHoweverItIsCut) {
    const struct {
        const char* name;
        std::string stream;
        Commands commands;
    } cases[] = {
        {"one command", "(QND)", {"(QND)"}},
        {"glued commands", "(QAD)(SDD)(SSS)", {"(QAD)", "(SDD)", "(SSS)"}},
        {"stray bytes around", "\x00\xff zz(QTF)\r\n..(SEF)x"s, {"(QTF)", "(SEF)"}},
        {"a bracket restarts the command", "((QN(QND)", {"(QND)"}},
        {"unknown letters are still a command", "(XY9)", {"(XY9)"}},
        {"lower case is not", "(qnd)", {}},
        {"too long", "(QNDD)", {}},
        {"too short", "(QN)", {}},
        {"no closing bracket", "(QND(", {}},
        {"a closing bracket alone", ")QND)", {}},
        {"a cut-off start before a whole command", "(SD(QAD)", {"(QAD)"}},
        {"nothing", "", {}},
    };
    for (const auto& c : cases) {
        for (std::size_t piece : {0, 1, 2, 3, 4, 7})
            EXPECT_EQ(Scan(c.stream, piece), c.commands) << c.name << ", pieces of " << piece;
    }
}

}  // namespace
}  // namespace korvalen::sim

// The user guide reflowed for the help window: one line per heading, list item and paragraph.
#include "app/help_text.h"

#include <vector>

namespace korvalen {
namespace {

std::string_view Trimmed(std::string_view line) {
    const std::size_t begin = line.find_first_not_of(" \t\r");
    if (begin == std::string_view::npos)
        return {};
    const std::size_t end = line.find_last_not_of(" \t\r");
    return line.substr(begin, end - begin + 1);
}

}  // namespace

std::string HelpWindowText(std::string_view guide) {
    std::vector<std::string> blocks;  // one line each
    bool gap_before = true;           // the next block follows a blank line
    bool open = false;                // the last block may go on on the next line
    std::size_t at = 0;
    while (at <= guide.size()) {
        const std::size_t end = std::min(guide.find('\n', at), guide.size());
        const std::string_view line = Trimmed(guide.substr(at, end - at));
        at = end + 1;
        if (line.empty()) {
            gap_before = true;
            open = false;
            continue;
        }
        const bool heading = line.front() == '#';
        const bool item = line.starts_with("- ");
        if (heading || item || !open) {
            if (gap_before && !blocks.empty())
                blocks.emplace_back();
            std::string_view text = line;
            if (heading)
                text = Trimmed(text.substr(text.find_first_not_of('#')));
            blocks.emplace_back(item ? "• " + std::string(text.substr(2)) : std::string(text));
            gap_before = heading;
            open = !heading;
        } else {
            blocks.back() += ' ';
            blocks.back() += line;
        }
    }
    std::string text;
    for (const std::string& block : blocks)
        text += block + "\r\n";
    return text;
}

}  // namespace korvalen

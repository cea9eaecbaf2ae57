// The user guide's Markdown turned into the text the help window shows.
#pragma once

#include <string>
#include <string_view>

namespace korvalen {

// The user guide (plain Markdown: "#" headings, "-" list items, paragraphs separated by
// blank lines, lines wrapped at will) as the help window shows it: each heading, list
// item and paragraph on one line of its own, so the window wraps it at its own width;
// headings without their marks; a blank line between blocks; CR LF line ends.
std::string HelpWindowText(std::string_view guide);

}  // namespace korvalen

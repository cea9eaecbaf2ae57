// The guide's Markdown as the help window shows it.
#include "app/help_text.h"

#include <gtest/gtest.h>

namespace korvalen {
namespace {

TEST(HelpText, BlocksOnALineEach) {
    const std::string guide =
        "# Title\n"
        "\n"
        "A paragraph\n"
        "wrapped twice\n"
        "  and indented.\n"
        "\n"
        "## Section\n"
        "List:\n"
        "- one item\n"
        "  going on\n"
        "- two\n"
        "\n"
        "Last.";
    EXPECT_EQ(HelpWindowText(guide),
              "Title\r\n"
              "\r\n"
              "A paragraph wrapped twice and indented.\r\n"
              "\r\n"
              "Section\r\n"
              "\r\n"
              "List:\r\n"
              "• one item going on\r\n"
              "• two\r\n"
              "\r\n"
              "Last.\r\n");
}

}  // namespace
}  // namespace korvalen

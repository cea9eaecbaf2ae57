// The reply-header search and the parsing of the line's mode string.
#include <gtest/gtest.h>

#include "serial/line_mode.h"
#include "serial/reader_protocol.h"

namespace korvalen {
namespace {

TEST(ReplyHeader, Search) {
    struct Row {
        const char* name;
        std::string kept;
        std::string read;
        std::string text;  // what the search keeps
        std::optional<std::size_t> payload_in_read;
    };
    const Row rows[] = {
        {"header and payload", "", "(ND0000010)abc", "(ND0000010)", 3},
        {"header alone", "", "(AD0000000)", "(AD0000000)", 0},
        {"noise before it", "", "xx((ND0000005)ab", "(ND0000005)", 2},
        {"split over two reads", "(ND00", "00005)abcd", "(ND0000005)", 4},
        {"incomplete: kept from its (", "", "junk(ND000", "(ND000", std::nullopt},
        {"no ) at the end", "", "(ND0000005]abcdef", "", std::nullopt},
        {"no code", "", "(XY0000005)abc", "", std::nullopt},
        // Only the first "ND" and the first "AD" of the whole text count.
        {"an earlier ND, the AD inside", "", "ND(AD0000005)", "(AD0000005)", 0},
        {"an earlier AD, the ND inside", "", "AD(ND0000005)", "(ND0000005)", 0},
        {"both codes earlier", "", "ND AD (ND0000005)", "", std::nullopt},
        // The payload count is taken from the read, not from its text, which ends at the
        // first zero byte.
        {"a zero byte after the header", "", std::string("(ND0000005)\0abcd", 16), "(ND0000005)",
         5},
    };
    for (const Row& row : rows) {
        const std::string read_text = row.read.substr(0, row.read.find('\0'));
        const HeaderSearch found =
            SearchReplyHeader(row.kept + read_text, row.kept.size(), row.read.size());
        EXPECT_EQ(found.text, row.text) << row.name;
        EXPECT_EQ(found.payload_in_read, row.payload_in_read) << row.name;
    }
}

TEST(ReplyHeader, KindAndSize) {
    struct Row {
        const char* header;
        bool new_data;
        std::int64_t size;
    };
    const Row rows[] = {
        {"(ND0000000)", true, 0},        {"(AD0FFFFFF)", false, 0xFFFFFF},
        {"(ND0abcdef)", true, 0xABCDEF}, {"(NDAD00005)", true, 0xD00005},  // both codes: new data
        {"(AD000G005)", false, 0},                                         // stops at the G
        {"(ND0 12345)", true, 0},                                          // no digits at all
        {"(ND0001x05)", true, 1},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(HeaderAnnouncesNewData(row.header), row.new_data) << row.header;
        EXPECT_EQ(AnnouncedPayloadSize(row.header), row.size) << row.header;
    }
}

TEST(LineMode, Parse) {
    struct Row {
        const char* text;
        std::optional<LineMode> mode;
    };
    const Row rows[] = {
        {"baud=115200 parity=N data=8 stop=1", LineMode{115200, 'N', 8, 2}},
        {"BAUD=9600 PARITY=e DATA=7 STOP=2", LineMode{9600, 'E', 7, 4}},
        {"stop=1.5 baud=300", LineMode{300, 'N', 8, 3}},
        {"parity=N data=8", std::nullopt},  // no speed
        {"baud=115200 parity=X", std::nullopt},
        {"baud=115200 data=9", std::nullopt},
        {"baud=fast", std::nullopt},
        {"baud=115200 dtr=on", std::nullopt},
        {"115200,n,8,1", std::nullopt},
    };
    for (const Row& row : rows)
        EXPECT_EQ(ParseLineMode(row.text), row.mode) << row.text;
}

}  // namespace
}  // namespace korvalen

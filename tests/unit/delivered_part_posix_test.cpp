// Which bytes of a transfer were delivered already with a part of the same data: the rule
// on made-up stretches of a reader's stream.
#include "worker/delivered_part.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace korvalen {
namespace {

// A stream of records, each different from every other (they carry their number), as a
// logger's flash holds them.
std::string Stream(int first, int count) {
    std::string bytes;
    for (int n = first; n < first + count; ++n)
        bytes += ">RECORD " + std::to_string(100000 + n) + " 2026-12-01 pos ...<\r\n";
    return bytes;
}

TEST(DeliveredPart, TheStretchTwoTransfersShare) {
    const std::string logger = Stream(0, 100);  // what the logger holds
    const auto at = [&](int record) {
        return logger.find(">RECORD " + std::to_string(100000 + record));
    };
    struct Row {
        const char* name;
        std::string transfer;  // the new transfer's bytes
        std::string part;      // what was delivered before
        std::optional<DeliveredRange> shared;
    } rows[] = {
        {"sent again after a cut: it begins with the part", logger, logger.substr(0, at(40)),
         DeliveredRange{0, static_cast<std::int64_t>(at(40))}},
        {"cut again, shorter than the part", logger.substr(0, at(20)), logger.substr(0, at(40)),
         DeliveredRange{0, static_cast<std::int64_t>(at(20))}},
        {"the rest of a transfer, in the middle of it", logger,
         logger.substr(at(60), at(80) - at(60)),
         DeliveredRange{static_cast<std::int64_t>(at(60)), static_cast<std::int64_t>(at(80))}},
        {"it begins inside the part", logger.substr(at(30)), logger.substr(0, at(50)),
         DeliveredRange{0, static_cast<std::int64_t>(at(50) - at(30))}},
        {"another logger", Stream(1000, 100), logger.substr(0, at(40)), std::nullopt},
        {"the flash erased and written anew", Stream(0, 10) + Stream(500, 90),
         logger.substr(0, at(40)), std::nullopt},
        {"too short a part to tell", logger, logger.substr(0, 20), std::nullopt},
    };
    for (const Row& row : rows)
        EXPECT_EQ(SharedStretch(row.transfer, std::string_view(row.part)), row.shared) << row.name;
}

TEST(DeliveredPart, WhereThePayloadBegins) {
    struct Row {
        const char* name;
        std::string dump;
        std::optional<std::int64_t> offset;
        bool new_data;
    } rows[] = {
        {"new data", "(ND0000A28)>payload", 11, true},
        {"all data", "(AD0000A28)>payload", 11, false},
        {"noise and an earlier transfer's rest before it", "xx(garbage)>rest<(ND0001000)>p", 28,
         true},
        {"no header", ">a transfer whose header never came<", std::nullopt, false},
    };
    for (const Row& row : rows) {
        const std::optional<PayloadStart> start = FindPayloadStart(row.dump);
        ASSERT_EQ(start.has_value(), row.offset.has_value()) << row.name;
        if (start) {
            EXPECT_EQ(start->offset, *row.offset) << row.name;
            EXPECT_EQ(start->new_data, row.new_data) << row.name;
        }
    }
}

}  // namespace
}  // namespace korvalen

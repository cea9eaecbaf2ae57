// What a transfer delivered although the reader will send it again (it ended short, or
// its acknowledgement may not have reached the reader), so that the next read does not
// deliver it a second time.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "decode/delivered_range.h"

namespace korvalen {

// A transfer's bytes that were delivered: `length` bytes from `from` of the dump at
// `dump` (the archive's copy): the payload of a transfer of new data that ended short, or
// what came before the header of a dump (the rest of a transfer that was under way when
// the capture began; all of a dump without a header).
struct DeliveredPart {
    std::string dump;
    std::int64_t from = 0;
    std::int64_t length = 0;
    std::string read_at;

    bool operator==(const DeliveredPart&) const = default;
};

// Where the payload of a dump begins, just after the first reply header in it (bytes of
// an earlier transfer or line noise may precede it), and whether that header announces
// new data. Nothing when the dump has no header.
struct PayloadStart {
    std::int64_t offset = 0;
    bool new_data = false;
};
std::optional<PayloadStart> FindPayloadStart(std::string_view dump);

// Where `bytes` and `part` are the same stretch of a reader's stream: `bytes` begins
// inside `part` (a transfer sent again begins with what its cut predecessor delivered),
// or `part` begins inside `bytes` (the rest of a transfer lies in the middle of one sent
// whole). The range of `bytes` they share; nothing when they share no stretch long
// enough to tell (a few records).
std::optional<DeliveredRange> SharedStretch(std::string_view bytes, std::string_view part);

// The same with the bytes of a part read from its dump; nothing when they cannot be read
// (the archive let the dump go).
std::optional<DeliveredRange> SharedStretch(std::string_view bytes, const DeliveredPart& part);

}  // namespace korvalen

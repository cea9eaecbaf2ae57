// The reply header that begins a transfer, and so the dump it is written into: found
// however the reads cut the stream, and the fields read from it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace korvalen {

// A transfer starts with an 11-character header, "(ND0" or "(AD0" (the fourth character
// means nothing to the program) and the payload size in six hexadecimal digits, then ")".
inline constexpr std::size_t kReplyHeaderSize = 11;

// What one run of the header search found.
struct HeaderSearch {
    // The text to keep for the next read: empty, an incomplete candidate from its "(",
    // or the complete 11-character header.
    std::string text;
    // With a complete header: how many bytes of the latest read follow its ")", the
    // first payload bytes of the transfer.
    std::optional<std::size_t> payload_in_read;
};

// Searches `text` (what was kept before, followed by the text of the latest read) for
// the header. `kept_size` is the length of the part kept before and `read_size` the
// byte count of the latest read. A "(" qualifies when ")" is 10 characters after it and
// the first "ND" or the first "AD" of the whole text lies inside those 11 characters.
HeaderSearch SearchReplyHeader(std::string_view text, std::size_t kept_size, std::size_t read_size);

// The transfer kind a header announces: new data when it holds "ND", else all data.
bool HeaderAnnouncesNewData(std::string_view header);

// The payload size of a header: its characters 4 to 9 as a hexadecimal number, up to
// the first character that is not a hex digit (0 when there is none).
std::int64_t AnnouncedPayloadSize(std::string_view header);

}  // namespace korvalen

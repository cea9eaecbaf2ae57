// The reply header found however the reads cut the stream, and the fields read from it.
#include "decode/reply_header.h"

namespace korvalen {
namespace {

int HexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// Whether the first occurrence of `code` in the text lies strictly inside the 11
// characters from `start`.
bool FirstOccurrenceWithin(std::string_view text, std::string_view code, std::size_t start) {
    const std::size_t at = text.find(code);
    return at != std::string_view::npos && at > start && at < start + kReplyHeaderSize;
}

}  // namespace

HeaderSearch SearchReplyHeader(std::string_view text, std::size_t kept_size,
                               std::size_t read_size) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '(')
            continue;
        if (text.size() - i < kReplyHeaderSize)
            return {std::string(text.substr(i)), std::nullopt};
        if (text[i + kReplyHeaderSize - 1] == ')' &&
            (FirstOccurrenceWithin(text, "ND", i) || FirstOccurrenceWithin(text, "AD", i))) {
            // The kept part is shorter than a header, so the ")" lies in the latest read.
            const std::size_t header_end = i + kReplyHeaderSize;
            const std::size_t end_in_read = header_end > kept_size ? header_end - kept_size : 0;
            return {std::string(text.substr(i, kReplyHeaderSize)),
                    read_size > end_in_read ? read_size - end_in_read : 0};
        }
    }
    return {};
}

bool HeaderAnnouncesNewData(std::string_view header) {
    return header.find("ND") != std::string_view::npos;
}

std::int64_t AnnouncedPayloadSize(std::string_view header) {
    std::int64_t size = 0;
    for (std::size_t i = 4; i < 10 && i < header.size(); ++i) {
        const int digit = HexDigit(header[i]);
        if (digit < 0)
            break;
        size = size * 16 + digit;
    }
    return size;
}

}  // namespace korvalen

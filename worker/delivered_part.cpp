// Two stretches of a reader's stream laid over each other: where the one begins in the
// other, and whether every byte they share is the same.
#include "worker/delivered_part.h"

#include <algorithm>
#include <functional>

#include "decode/reply_header.h"
#include "platform/file.h"

namespace korvalen {
namespace {

// Fewer bytes than a record or two could be found where they do not belong; a record
// carries its time, so this many bytes are found only where they were sent.
constexpr std::size_t kShortestStretch = 64;
constexpr std::size_t kAnchor = 256;

std::optional<std::size_t> Find(std::string_view in, std::string_view what) {
    const auto at = std::search(in.begin(), in.end(),
                                std::boyer_moore_horspool_searcher(what.begin(), what.end()));
    if (at == in.end())
        return std::nullopt;
    return static_cast<std::size_t>(at - in.begin());
}

}  // namespace

// "(ND0" or "(AD0", six hexadecimal digits of the size, ")": the reader's own form of the
// header, looked for in the dump without the capture's allowances for a header split
// over several reads.
std::optional<PayloadStart> FindPayloadStart(std::string_view dump) {
    for (std::size_t at = dump.find('('); at != std::string_view::npos;
         at = dump.find('(', at + 1)) {
        if (dump.size() - at < kReplyHeaderSize)
            return std::nullopt;
        const std::string_view code = dump.substr(at + 1, 2);
        if (dump[at + kReplyHeaderSize - 1] == ')' && (code == "ND" || code == "AD"))
            return PayloadStart{static_cast<std::int64_t>(at + kReplyHeaderSize), code == "ND"};
    }
    return std::nullopt;
}

std::optional<DeliveredRange> SharedStretch(std::string_view bytes, std::string_view part) {
    if (bytes.size() < kShortestStretch || part.size() < kShortestStretch)
        return std::nullopt;
    // `bytes` begins inside `part` (at its very beginning for a transfer sent again).
    const std::string_view head =
        bytes.substr(0, std::min(kAnchor, std::min(bytes.size(), part.size())));
    std::optional<std::size_t> at = part.substr(0, head.size()) == head ? 0 : Find(part, head);
    if (at) {
        const std::size_t shared = std::min(part.size() - *at, bytes.size());
        if (bytes.substr(0, shared) == part.substr(*at, shared))
            return DeliveredRange{0, static_cast<std::int64_t>(shared)};
    }
    // `part` begins inside `bytes`.
    const std::string_view part_head = part.substr(0, std::min(kAnchor, part.size()));
    at = Find(bytes, part_head);
    if (at) {
        const std::size_t shared = std::min(bytes.size() - *at, part.size());
        if (bytes.substr(*at, shared) == part.substr(0, shared))
            return DeliveredRange{static_cast<std::int64_t>(*at),
                                  static_cast<std::int64_t>(*at + shared)};
    }
    return std::nullopt;
}

std::optional<DeliveredRange> SharedStretch(std::string_view bytes, const DeliveredPart& part) {
    if (part.from < 0 || part.length < static_cast<std::int64_t>(kShortestStretch))
        return std::nullopt;
    File file;
    if (!file.Open(part.dump, OpenMode::OpenExisting, Sharing::Shared, true))
        return std::nullopt;
    try {
        file.Seek(part.from);
        std::string stretch(static_cast<std::size_t>(part.length), '\0');
        std::size_t got = 0;
        for (std::size_t n; got < stretch.size() &&
                            (n = file.Read(stretch.data() + got, stretch.size() - got)) > 0;) {
            got += n;
        }
        if (got != stretch.size())
            return std::nullopt;  // the dump is not what was delivered
        return SharedStretch(bytes, std::string_view(stretch));
    } catch (const FileError&) {
        return std::nullopt;
    }
}

}  // namespace korvalen

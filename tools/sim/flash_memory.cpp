// FlashMemory: the logger's flash contents and the reader's mark of what has been read.
#include "tools/sim/flash_memory.h"

#include <algorithm>

namespace korvalen::sim {

bool FlashMemory::Append(std::string_view bytes) {
    if (bytes.size() > capacity_ - contents_.size())
        return false;
    contents_ += bytes;
    return true;
}

void FlashMemory::Clear() {
    contents_.clear();
    mark_ = 0;
    sending_end_.reset();
    acknowledgeable_.reset();
}

std::string FlashMemory::StartTransfer(TransferKind kind) {
    const std::size_t begin = kind == TransferKind::kNewData ? mark_ : 0;
    const std::size_t length = std::min(contents_.size() - begin, max_payload_);
    if (kind == TransferKind::kNewData) {
        // A new request replaces the one the program has not acknowledged: it carries
        // the same bytes and more.
        sending_end_ = begin + length;
        acknowledgeable_.reset();
    }
    return contents_.substr(begin, length);
}

void FlashMemory::EndTransfer(bool complete) {
    if (complete && sending_end_)
        acknowledgeable_ = sending_end_;
    sending_end_.reset();
}

std::optional<std::size_t> FlashMemory::Acknowledge() {
    if (!acknowledgeable_)
        return std::nullopt;
    const std::size_t acknowledged = *acknowledgeable_ - mark_;
    mark_ = *acknowledgeable_;
    acknowledgeable_.reset();
    return acknowledged;
}

}  // namespace korvalen::sim

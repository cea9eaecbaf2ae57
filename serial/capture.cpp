// The capture's rules at work: when a transfer starts, when it is complete, when it falls
// silent.
#include "serial/capture.h"

#include <algorithm>

#include "serial/reader_protocol.h"

namespace korvalen {

Capture::Poll Capture::OnPoll(std::optional<std::size_t> waiting, std::uint32_t now_ms) {
    Poll poll;
    // A port that cannot tell what is waiting in the middle of a transfer has most likely
    // gone (an adapter pulled out): the user hears of it as of a failed read.
    if (!waiting && active())
        read_failed_ = true;
    const bool size_met = SizeMet();
    // Unsigned difference: right across the wrap of the tick count.
    const bool silent = active() && now_ms - last_data_ms_ >= kSilenceMs;
    if (size_met || silent)
        poll.ended = End(size_met);

    const std::size_t count = waiting.value_or(0);
    if (count == 0)
        return poll;
    // Inside a capture every byte belongs to the transfer, also the last few of it; only
    // outside one are a few bytes noise.
    if (active())
        poll.step = Step::Read;
    else if (count > kMaxStrayBytes)
        poll.step = Step::Start;
    else
        poll.step = Step::Discard;
    if (poll.step != Step::Discard)
        poll.read_size = std::min(count, kReadLimit);
    return poll;
}

std::optional<CaptureEnd> Capture::EndIfComplete() {
    if (!SizeMet())
        return std::nullopt;
    return End(true);
}

bool Capture::SizeMet() const {
    return (kind_ == ReplyKind::NewData || kind_ == ReplyKind::AllData) &&
           received_count_ == announced_size_;
}

CaptureEnd Capture::End(bool size_met) {
    const CaptureEnd end{
        .complete_new_data = size_met && kind_ == ReplyKind::NewData && announced_size_ != 0,
        .read_failed = read_failed_,
        .kind = kind_,
        .size_met = size_met,
    };
    kind_ = ReplyKind::None;
    read_failed_ = false;
    return end;
}

void Capture::Started() {
    header_text_.clear();
    kind_ = ReplyKind::HeaderPending;
    announced_size_ = kSizeBeforeHeader;
    received_count_ = 0;
    read_failed_ = false;
}

void Capture::Received(std::string_view bytes, bool failed, std::uint32_t now_ms) {
    // Silence is measured from the last byte that came: a read that finds nothing (what
    // was waiting went with an abort's purge) must not keep the capture alive.
    if (!bytes.empty())
        last_data_ms_ = now_ms;
    if (failed)
        read_failed_ = true;
    received_count_ += static_cast<std::int64_t>(bytes.size());
    if (kind_ != ReplyKind::HeaderPending)
        return;
    // The header is text: what follows a zero byte of this read is not searched.
    const std::size_t kept = header_text_.size();
    header_text_.append(bytes.substr(0, bytes.find('\0')));
    HeaderSearch found = SearchReplyHeader(header_text_, kept, bytes.size());
    header_text_ = std::move(found.text);
    if (!found.payload_in_read)
        return;
    kind_ = HeaderAnnouncesNewData(header_text_) ? ReplyKind::NewData : ReplyKind::AllData;
    announced_size_ = AnnouncedPayloadSize(header_text_);
    received_count_ = static_cast<std::int64_t>(*found.payload_in_read);
}

}  // namespace korvalen

// Transmission: what the reader sends for one answer, let out at the serial line's pace.
#include "tools/sim/transmission.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace korvalen::sim {
namespace {

constexpr double kChunkSeconds = 0.010;

}  // namespace

LinePacer::LinePacer(double bytes_per_second)
    : bytes_per_second_(bytes_per_second),
      chunk_(std::max(1.0, bytes_per_second * kChunkSeconds)),
      tokens_(chunk_) {}

std::size_t LinePacer::Allowance(SteadyTime now) {
    if (bytes_per_second_ <= 0)
        return std::numeric_limits<std::size_t>::max();
    if (refilled_) {
        const double elapsed = std::chrono::duration<double>(now - *refilled_).count();
        tokens_ = std::min(2 * chunk_, tokens_ + elapsed * bytes_per_second_);
    }
    refilled_ = now;
    return static_cast<std::size_t>(tokens_);
}

void LinePacer::Spend(std::size_t bytes) {
    if (bytes_per_second_ > 0)
        tokens_ = std::max(0.0, tokens_ - static_cast<double>(bytes));
}

SteadyTime LinePacer::NextChunkAt(SteadyTime now) const {
    if (bytes_per_second_ <= 0 || tokens_ >= chunk_ || !refilled_)
        return now;
    const double wait = (chunk_ - tokens_) / bytes_per_second_;
    const auto at = *refilled_ + std::chrono::duration_cast<SteadyTime::duration>(
                                     std::chrono::duration<double>(wait));
    return std::max(now, at);
}

Transmission::Transmission(std::string bytes, std::vector<Pause> pauses,
                           std::optional<BreakOff> break_off)
    : bytes_(std::move(bytes)), pauses_(std::move(pauses)), break_off_(break_off) {
    // A pause before the first byte would never be reached by a write, so never end.
    std::erase_if(pauses_, [](const Pause& pause) { return pause.at == 0; });
    std::stable_sort(pauses_.begin(), pauses_.end(),
                     [](const Pause& a, const Pause& b) { return a.at < b.at; });
    if (break_off_ && break_off_->at > bytes_.size())
        break_off_.reset();  // never reached
    // A cut at the very end is no cut: everything went out.
    if (break_off_ && break_off_->end == TransmissionEnd::kCut && break_off_->at == bytes_.size())
        break_off_.reset();
}

std::size_t Transmission::Limit() const {
    std::size_t limit = bytes_.size();
    if (next_pause_ < pauses_.size())
        limit = std::min(limit, pauses_[next_pause_].at);
    if (break_off_)
        limit = std::min(limit, break_off_->at);
    return limit;
}

std::string_view Transmission::Ready(SteadyTime now, LinePacer& pacer) {
    if (end() || (paused_until_ && now < *paused_until_))
        return {};
    paused_until_.reset();
    const std::size_t count = std::min(Limit() - sent_, pacer.Allowance(now));
    return std::string_view(bytes_).substr(sent_, count);
}

std::optional<Milliseconds> Transmission::Written(std::size_t count, SteadyTime now,
                                                  LinePacer& pacer) {
    sent_ += count;
    pacer.Spend(count);
    // A pause at the break-off point or at the end is never taken: nothing follows it.
    if (end() || next_pause_ >= pauses_.size() || sent_ < pauses_[next_pause_].at)
        return std::nullopt;
    const Milliseconds length = pauses_[next_pause_++].length;
    paused_until_ = now + length;
    return length;
}

SteadyTime Transmission::NextChanceAt(SteadyTime now, const LinePacer& pacer) const {
    if (paused_until_ && now < *paused_until_)
        return *paused_until_;
    return pacer.NextChunkAt(now);
}

std::optional<TransmissionEnd> Transmission::end() const {
    if (break_off_ && sent_ >= break_off_->at)
        return break_off_->end;
    if (sent_ >= bytes_.size())
        return TransmissionEnd::kComplete;
    return std::nullopt;
}

}  // namespace korvalen::sim

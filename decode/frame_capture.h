// Record frames cut out of a dump's byte stream, by a pure state machine.
#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace korvalen {

// The first "<" or ">" in [p, limit), or limit. Eight bytes at a time where the host is
// little-endian: the two delimiters differ only in bit 1, so setting that bit in every
// byte leaves one value to look for, and a byte equal to it becomes a zero byte.
inline const char* FindFrameDelimiter(const char* p, const char* limit) {
    if constexpr (std::endian::native == std::endian::little) {
        constexpr std::uint64_t kOnes = 0x0101010101010101;
        constexpr std::uint64_t kHighBits = kOnes * 0x80;
        constexpr std::uint64_t kBit1 = kOnes * 0x02;
        constexpr std::uint64_t kGreater = kOnes * static_cast<unsigned char>('>');
        while (limit - p >= 8) {
            std::uint64_t word = 0;
            std::memcpy(&word, p, sizeof word);
            const std::uint64_t x = (word | kBit1) ^ kGreater;
            // The lowest flagged byte is the first zero byte; flags above it may be false.
            const std::uint64_t zero_bytes = (x - kOnes) & ~x & kHighBits;
            if (zero_bytes != 0)
                return p + std::countr_zero(zero_bytes) / 8;
            p += 8;
        }
    }
    while (p < limit && *p != '<' && *p != '>')
        ++p;
    return p;
}

// The content lengths that can be a record of a dump: 25 (packed, never accepted), 41 and
// 59 (short and long, without ID), 49 and 67 (the same with ";ID=NNNN").
constexpr bool IsRecordLength(std::size_t length) {
    return length == 25 || length == 41 || length == 49 || length == 59 || length == 67;
}

// Cuts the frames ">content<" out of a dump, one byte at a time. A ">" (re)starts a frame,
// so a frame cut short by a new one is dropped; content past 100 characters is dropped
// and the stream resynchronises at the next ">"; a "<" outside a frame means nothing.
// Pure: no I/O, so the pass may feed it from any buffer it likes.
class FrameCapture {
  public:
    static constexpr std::size_t kMaxContent = 100;

    // True when `byte` closed a frame whose content has a record length; frame() then
    // holds that content until the next call.
    bool Feed(char byte) {
        if (byte == '>') {
            size_ = 0;
            capturing_ = true;
            return false;
        }
        if (!capturing_)
            return false;
        if (byte == '<') {
            capturing_ = false;
            return IsRecordLength(size_);
        }
        content_[size_++] = byte;
        if (size_ > kMaxContent) {
            size_ = 0;
            capturing_ = false;
        }
        return false;
    }

    // The same over the bytes [p, end), as if each were fed in turn, stopping after the
    // byte that closes a frame of a record length: returns the first byte not consumed
    // and sets `frame_ready`. Scans in runs, so a large dump costs little per byte.
    const char* Feed(const char* p, const char* end, bool& frame_ready) {
        frame_ready = false;
        while (p < end) {
            if (!capturing_) {
                p = static_cast<const char*>(
                    std::memchr(p, '>', static_cast<std::size_t>(end - p)));
                if (p == nullptr)
                    return end;
                ++p;
                size_ = 0;
                capturing_ = true;
                continue;
            }
            // Copy the run up to the next delimiter, but no further than the overflow.
            const std::size_t room = kMaxContent + 1 - size_;
            const char* limit = static_cast<std::size_t>(end - p) < room ? end : p + room;
            const char* q = FindFrameDelimiter(p, limit);
            std::memcpy(content_.data() + size_, p, static_cast<std::size_t>(q - p));
            size_ += static_cast<std::size_t>(q - p);
            p = q;
            if (size_ > kMaxContent) {
                size_ = 0;
                capturing_ = false;
                continue;
            }
            if (p == end)
                return end;
            if (*p++ == '>') {
                size_ = 0;
                continue;
            }
            capturing_ = false;
            if (IsRecordLength(size_)) {
                frame_ready = true;
                return p;
            }
        }
        return end;
    }

    std::string_view frame() const { return {content_.data(), size_}; }

  private:
    // One more than the longest content kept, so that the overflow can be seen.
    std::array<char, kMaxContent + 1> content_{};
    std::size_t size_ = 0;
    bool capturing_ = false;
};

}  // namespace korvalen

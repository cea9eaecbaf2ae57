// The logger's power-on markers found in a dump's byte stream, by a pure state machine.
#pragma once

#include <array>
#include <cstddef>
#include <cstring>
#include <string_view>

namespace korvalen {

// Finds the logger's power-on marker "RESET" in a dump, one byte at a time, whatever the
// framing. Collecting starts at every "R" and gives up after six characters, so
// "RRESET" and "RESERESET" each give one marker; any byte between the letters, a frame
// delimiter included, breaks the marker. Pure, like FrameCapture.
class ResetMarkerDetector {
  public:
    // True when `byte` completed a marker.
    bool Feed(char byte) {
        if (collecting_)
            collected_[size_++] = byte;
        if (byte == 'R') {
            collected_[0] = 'R';
            size_ = 1;
            collecting_ = true;
        }
        if (byte == 'T' && collecting_ && std::string_view(collected_.data(), size_) == "RESET") {
            size_ = 0;
            collecting_ = false;
            return true;
        }
        if (size_ > 6) {
            size_ = 0;
            collecting_ = false;
        }
        return false;
    }

    // The same over the bytes [p, end), stopping after the byte that completes a marker:
    // returns the first byte not consumed and sets `found`. Outside a possible marker it
    // skips straight to the next "R".
    const char* Feed(const char* p, const char* end, bool& found) {
        found = false;
        while (p < end) {
            if (!collecting_) {
                p = static_cast<const char*>(
                    std::memchr(p, 'R', static_cast<std::size_t>(end - p)));
                if (p == nullptr)
                    return end;
            }
            if (Feed(*p++)) {
                found = true;
                return p;
            }
        }
        return end;
    }

  private:
    // Six characters at most are kept; the seventh is the overflow that ends collecting.
    std::array<char, 7> collected_{};
    std::size_t size_ = 0;
    bool collecting_ = false;
};

}  // namespace korvalen

// FlashMemory: the logger's flash contents and the reader's mark of what has been read.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace korvalen::sim {

enum class TransferKind { kNewData, kAllData };

// The flash only grows while the logger records; it is emptied as a whole ("(SEF)").
// Its bookkeeping of new data follows the reader's handshake: a new-data transfer sends
// everything from the mark on, and only the program's acknowledgement of a transfer that
// went out complete moves the mark past it. A transfer that is stopped or cut leaves the
// mark where it was, so the next new-data transfer brings the same bytes again.
class FlashMemory {
  public:
    static constexpr std::size_t kCapacity = std::size_t{32} * 1024 * 1024;
    // The reply header has six hexadecimal digits for the size.
    static constexpr std::size_t kMaxPayload = 0xFFFFFF;

    explicit FlashMemory(std::size_t capacity = kCapacity, std::size_t max_payload = kMaxPayload)
        : capacity_(capacity), max_payload_(max_payload) {}

    // What the logger writes; false, and nothing written, when it does not fit any more.
    bool Append(std::string_view bytes);
    // Everything recorded is gone; the mark goes back to the start.
    void Clear();

    // The payload of a transfer that starts now: new data from the mark, or all data from
    // the start; at most the largest payload a header can announce; the rest stays for a
    // later transfer. The payload of every transfer has to be settled by EndTransfer.
    std::string StartTransfer(TransferKind kind);
    // The running transfer went out whole (`complete`), or was stopped or cut.
    void EndTransfer(bool complete);
    // The program's "(SDD)": the bytes of the last complete new-data transfer count as
    // read. Gives their number, or nothing when there is no such transfer to acknowledge.
    std::optional<std::size_t> Acknowledge();

    const std::string& contents() const { return contents_; }
    std::size_t size() const { return contents_.size(); }
    std::size_t capacity() const { return capacity_; }
    std::size_t new_data_size() const { return contents_.size() - mark_; }

  private:
    std::size_t capacity_;
    std::size_t max_payload_;
    std::string contents_;
    std::size_t mark_ = 0;                        // the first byte not yet acknowledged
    std::optional<std::size_t> sending_end_;      // end of the new data being sent
    std::optional<std::size_t> acknowledgeable_;  // end of the last complete new-data transfer
};

}  // namespace korvalen::sim

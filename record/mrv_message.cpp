// The message head to and from its little-endian file layout, on any host.
#include "record/mrv_message.h"

#include <bit>
#include <cstring>
#include <limits>
#include <type_traits>

namespace korvalen {
namespace {

template <typename T>
void Put(std::uint8_t* at, T value) {
    std::uint64_t bits = 0;
    if constexpr (std::is_same_v<T, double>) {
        bits = std::bit_cast<std::uint64_t>(value);
    } else {
        bits = static_cast<std::uint32_t>(value);
    }
    for (std::size_t i = 0; i < sizeof(T); ++i)
        at[i] = static_cast<std::uint8_t>(bits >> (8 * i));
}

template <typename T>
T Get(const std::uint8_t* at) {
    std::uint64_t bits = 0;
    for (std::size_t i = 0; i < sizeof(T); ++i)
        bits |= std::uint64_t{at[i]} << (8 * i);
    if constexpr (std::is_same_v<T, double>) {
        return std::bit_cast<double>(bits);
    } else {
        return static_cast<T>(static_cast<std::uint32_t>(bits));
    }
}

}  // namespace

// The head has no padding (its offsets are asserted) and its doubles are IEEE 754, so
// on a little-endian host its memory is the file's layout already.
constexpr bool kHeadIsFileLayout = std::endian::native == std::endian::little &&
                                   std::numeric_limits<double>::is_iec559 &&
                                   std::is_trivially_copyable_v<MessageHead>;

std::array<std::uint8_t, kMessageHeadSize> EncodeMessageHead(const MessageHead& h) {
    std::array<std::uint8_t, kMessageHeadSize> out{};
    if constexpr (kHeadIsFileLayout) {
        std::memcpy(out.data(), &h, kMessageHeadSize);
        return out;
    }
    std::uint8_t* p = out.data();
    Put(p + 0, h.ObjectID);
    Put(p + 4, h.Reserved4);
    Put(p + 8, h.ReportTime);
    Put(p + 16, h.DecodedUtc);
    Put(p + 24, h.DecodedLocal);
    Put(p + 32, h.Flags);
    Put(p + 36, h.Reserved36);
    Put(p + 40, h.Longitude);
    Put(p + 48, h.Latitude);
    Put(p + 56, h.Course);
    Put(p + 64, h.Speed);
    Put(p + 72, h.HeadValue);
    Put(p + 76, h.TextLength);
    return out;
}

MessageHead DecodeMessageHead(const std::uint8_t* p) {
    MessageHead h;
    if constexpr (kHeadIsFileLayout) {
        std::memcpy(&h, p, kMessageHeadSize);
        return h;
    }
    h.ObjectID = Get<std::int32_t>(p + 0);
    h.Reserved4 = Get<std::int32_t>(p + 4);
    h.ReportTime = Get<double>(p + 8);
    h.DecodedUtc = Get<double>(p + 16);
    h.DecodedLocal = Get<double>(p + 24);
    h.Flags = Get<std::uint32_t>(p + 32);
    h.Reserved36 = Get<std::int32_t>(p + 36);
    h.Longitude = Get<double>(p + 40);
    h.Latitude = Get<double>(p + 48);
    h.Course = Get<double>(p + 56);
    h.Speed = Get<double>(p + 64);
    h.HeadValue = Get<std::int32_t>(p + 72);
    h.TextLength = Get<std::int32_t>(p + 76);
    return h;
}

}  // namespace korvalen

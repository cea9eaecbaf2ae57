// A decoded record as the dispatcher's message files hold it, and the file layout of its head.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/clock.h"

namespace korvalen {

// The 80-byte head of a record of a dispatcher message file, field for field. The
// position record's head is this part of the decoded report as it stands.
struct MessageHead {
    std::int32_t ObjectID = 0;    // offset 0
    std::int32_t Reserved4 = 0;   // offset 4, always 0
    double ReportTime = 0;        // offset 8, OLE Automation date
    double DecodedUtc = 0;        // offset 16, OLE Automation date
    double DecodedLocal = 0;      // offset 24, OLE Automation date
    std::uint32_t Flags = 0;      // offset 32
    std::int32_t Reserved36 = 0;  // offset 36, always 0
    double Longitude = 0;         // offset 40, degrees, east positive
    double Latitude = 0;          // offset 48, degrees, north positive
    double Course = 0;            // offset 56, degrees
    double Speed = 0;             // offset 64, km/h
    std::int32_t HeadValue = 0;   // offset 72, 1000 in every written record
    std::int32_t TextLength = 0;  // offset 76, bytes of text after the head
};

inline constexpr std::size_t kMessageHeadSize = 80;
static_assert(sizeof(MessageHead) == kMessageHeadSize);
static_assert(offsetof(MessageHead, ObjectID) == 0);
static_assert(offsetof(MessageHead, Reserved4) == 4);
static_assert(offsetof(MessageHead, ReportTime) == 8);
static_assert(offsetof(MessageHead, DecodedUtc) == 16);
static_assert(offsetof(MessageHead, DecodedLocal) == 24);
static_assert(offsetof(MessageHead, Flags) == 32);
static_assert(offsetof(MessageHead, Reserved36) == 36);
static_assert(offsetof(MessageHead, Longitude) == 40);
static_assert(offsetof(MessageHead, Latitude) == 48);
static_assert(offsetof(MessageHead, Course) == 56);
static_assert(offsetof(MessageHead, Speed) == 64);
static_assert(offsetof(MessageHead, HeadValue) == 72);
static_assert(offsetof(MessageHead, TextLength) == 76);

// The head as the file holds it: little-endian integers and IEEE 754 doubles, whatever
// the host's byte order.
std::array<std::uint8_t, kMessageHeadSize> EncodeMessageHead(const MessageHead& head);
MessageHead DecodeMessageHead(const std::uint8_t* bytes);

// One decoded record of a dump: position, times, inputs, fix quality, usability. A new
// report has every number zero and every flag false. Which file a report goes to, and
// whether it is its object's last, is the route's business, not the report's.
struct MRVMessage : MessageHead {
    CalendarTime FixTimeParts;                  // local time of the record as decoded
    CalendarTime ReportTimeParts;               // start of the standing run the record belongs to
    std::array<std::int32_t, 5> StatusFlags{};  // F1-F5: 1, 0, or 2 = neither
    double Analog0 = 0;
    std::array<std::int32_t, 5> Inputs{};  // IN1-IN5: 1, 0, or 2 = neither
    double Analog1 = 0;
    double Analog2 = 0;
    double Analog3 = 0;
    std::int32_t Validity = 0;  // 1 stale, 2 fresh, 0 undetermined
    std::int32_t FixMode = 0;   // 0 = 2D, 1 = 3D, 2 undetermined
    bool NoPosition = false;    // the position of this record is not to be used
    bool IsPps = false;         // record type "PPS"
    std::int32_t Year = 0;
    std::int32_t Month = 0;
    std::int32_t Day = 0;
    std::int32_t SecondsOfDay = 0;
    double FixTime = 0;      // OLE Automation date of FixTimeParts
    bool PowerUp = false;    // first fresh usable record after a power-on marker
    bool HasInputs = false;  // record type "RPS": flags, inputs and analog values valid
};

}  // namespace korvalen

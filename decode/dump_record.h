// The logger's position record: its layout, its validation and its decoding into a report.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/clock.h"
#include "record/mrv_message.h"

namespace korvalen {

// Position records of a dump, as the logger writes them inside ">...<" (all ASCII):
//
//   pos len
//    0   3  type: "RPS" long record with inputs, "PPS" nothing for routes, else position
//    3   2  day          5  2  month        7  4  year
//   11   5  seconds since local midnight
//   16   8  latitude  x 100000, signed     24  9  longitude x 100000, signed
//   33   3  speed, knots                   36  3  course, degrees
//   39  18  long records only: F1-F5, A0 (hex), IN1-IN5, A1, A2, A3 (hex)
//   then fix dimension ("0" 2D, "1" 3D) and fix age ("1" stale, "2" fresh),
//   then, in records with ID, ";ID=" and four digits.
inline constexpr std::size_t kShortRecordLength = 41;
inline constexpr std::size_t kLongRecordLength = 59;
inline constexpr std::size_t kIdSuffixLength = 8;
inline constexpr std::size_t kShortRecordWithIdLength = kShortRecordLength + kIdSuffixLength;
inline constexpr std::size_t kLongRecordWithIdLength = kLongRecordLength + kIdSuffixLength;
inline constexpr std::string_view kIdSuffixTag = ";ID=";

constexpr bool HasIdSuffix(std::size_t length) {
    return length == kShortRecordWithIdLength || length == kLongRecordWithIdLength;
}

// The validation of a frame's content: its length, the ID suffix, the date ranges and
// the character set of every numeric field. The type and the long record's extension
// are not checked. The packed 25-character record never passes.
bool CheckRecord(std::string_view content);

// Fills `message` from a checked record with ID (49 or 67 characters). "PPS" only sets
// IsPps. The decoding time comes from `clock`. A time of day past 86399 or a day past its
// month's end (31.02) is carried into the following days, so FixTimeParts is always a
// real time; Year, Month, Day and SecondsOfDay keep the record's own values.
void DecodeRecord(std::string_view record, const Clock& clock, MRVMessage& message);

// The same, with the decoding time given (the pass reads the clock once per block).
void DecodeRecord(std::string_view record, double decoded_utc, double decoded_local,
                  MRVMessage& message);

// CheckRecord and DecodeRecord in one reading of the fields, for a record with ID; the
// decoding times are left at 0 for the caller. False, `message` untouched, when the check
// fails or the record has no ID suffix.
bool CheckAndDecodeRecord(std::string_view record, MRVMessage& message);

// atoi over a fixed field: one optional sign, then digits up to the first other
// character; nothing else gives 0.
std::int32_t ParseFieldInteger(std::string_view field);

}  // namespace korvalen

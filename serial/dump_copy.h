// The name offered when the user saves a copy of the last dump.
#pragma once

#include <string>
#include <string_view>

#include "platform/clock.h"

namespace korvalen {

inline constexpr std::string_view kNoDumpToCopyMessage =
    "Прежде чем сохранять файл, считайте данные из флэш-памяти!";

// The name offered for a copy of the dump: the local date as year, month and day,
// "20261209", with "_N" for the counter N of the copies offered before ("20261209_1").
std::string DumpCopyName(const CalendarTime& local_now, int counter);

}  // namespace korvalen

// Named places where a test can make the program end as a power cut would.
#pragma once

#include <string_view>

namespace korvalen {

// Ends the process at once, without unwinding, flushing or closing anything, when the
// environment variable KORVALEN_CRASH_AT names this point ("pending") or this point and
// how many times it is passed first ("published:2" ends at its second pass). Tests of
// the durable road use it to stop the program between two of its steps; otherwise it
// costs one look at the environment per process.
void CrashPoint(std::string_view name);

}  // namespace korvalen

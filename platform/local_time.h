// A thread-safe localtime for the calendar code, one for each system.
#pragma once

#include <ctime>

namespace korvalen {

// The thread-safe localtime of the platform's C library (localtime_r, localtime_s).
bool ToLocalTm(std::time_t t, std::tm& out);

}  // namespace korvalen

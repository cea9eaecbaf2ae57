// The date-based name offered for a copy of the dump.
#include "serial/dump_copy.h"

namespace korvalen {
namespace {

// As "%02d" prints an int.
std::string TwoDigits(int value) {
    std::string digits = std::to_string(value);
    if (value >= 0 && value < 10)
        digits.insert(digits.begin(), '0');
    return digits;
}

}  // namespace

std::string DumpCopyName(const CalendarTime& local_now, int counter) {
    std::string name = TwoDigits(local_now.year);
    name.append(TwoDigits(local_now.month)).append(TwoDigits(local_now.day));
    if (counter != 0)
        name.append("_").append(std::to_string(counter));
    return name;
}

}  // namespace korvalen

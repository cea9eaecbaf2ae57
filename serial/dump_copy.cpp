#include "serial/dump_copy.h"

namespace korvalen {
namespace {

// As "%02d" prints an int.
std::string TwoDigits(int value) {
    return (value >= 0 && value < 10 ? "0" : "") + std::to_string(value);
}

}  // namespace

std::string DumpCopyName(const CalendarTime& local_now, int counter) {
    std::string name =
        TwoDigits(local_now.year) + TwoDigits(local_now.month) + TwoDigits(local_now.day);
    if (counter != 0)
        name += "_" + std::to_string(counter);
    return name;
}

}  // namespace korvalen

// EventLog and Journal: the simulator's line-by-line records for people and tests.
#include "tools/sim/event_log.h"

#include <iostream>
#include <stdexcept>

namespace korvalen::sim {
namespace {

std::ofstream Create(const std::string& path, const char* what) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    if (!file)
        throw std::runtime_error(std::string("cannot create the ") + what + " " + path);
    return file;
}

}  // namespace

EventLog::EventLog(const std::optional<std::string>& path) : out_(&std::cerr) {
    if (path) {
        file_ = Create(*path, "log");
        out_ = &file_;
    }
}

void EventLog::Write(std::string_view event) {
    const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
                             std::chrono::steady_clock::now() - start_)
                             .count();
    std::string milliseconds = std::to_string(elapsed % 1000);
    milliseconds.insert(0, 3 - milliseconds.size(), '0');
    *out_ << elapsed / 1000 << '.' << milliseconds << ' ' << event << '\n';
    out_->flush();
}

Journal::Journal(const std::optional<std::string>& path) {
    if (path)
        file_ = Create(*path, "journal");
}

void Journal::Write(std::string_view frame) {
    if (file_.is_open())
        file_ << frame << '\n';
}

void Journal::Flush() {
    if (file_.is_open())
        file_.flush();
}

}  // namespace korvalen::sim

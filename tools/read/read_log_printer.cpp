// Printing into the read log, line by line.
#include "tools/read/read_log_printer.h"

#include "platform/clock.h"

namespace korvalen {

void ReadLogPrinter::UseDataFolder(const std::string& data_folder) {
    std::lock_guard lock(mutex_);
    log_.emplace(data_folder, SystemClock());
    for (const std::string& line : early_)
        log_->Append(line);
    early_.clear();
}

std::vector<std::string> ReadLogPrinter::LastLines() const {
    std::lock_guard lock(mutex_);
    return {last_.begin(), last_.end()};
}

ReadLogPrinter::int_type ReadLogPrinter::overflow(int_type c) {
    if (traits_type::eq_int_type(c, traits_type::eof()))
        return traits_type::not_eof(c);
    std::lock_guard lock(mutex_);
    Put(traits_type::to_char_type(c));
    return c;
}

std::streamsize ReadLogPrinter::xsputn(const char* text, std::streamsize count) {
    std::lock_guard lock(mutex_);
    for (std::streamsize i = 0; i < count; ++i)
        Put(text[i]);
    return count;
}

void ReadLogPrinter::Put(char c) {
    std::string& line = unfinished_[std::this_thread::get_id()];
    if (c == '\r')
        return;
    if (c != '\n') {
        line += c;
        return;
    }
    // The read log is written as the program writes it; a line it cannot take is lost as
    // a console's would be, and the run goes on.
    if (log_)
        log_->Append(line);
    else
        early_.push_back(line);
    last_.push_back(line);
    if (last_.size() > kLastLines)
        last_.pop_front();
    unfinished_.erase(std::this_thread::get_id());
}

}  // namespace korvalen

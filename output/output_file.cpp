// The buffered output file: whole units only, cut back after a refused write, failures kept.
#include "output/output_file.h"

#include <utility>

namespace korvalen {

// The buffer grows with what is written: a dump with thousands of objects that write a
// record or two each must not cost thousands of full buffers.
OutputFile::OutputFile(std::size_t buffer_capacity) : capacity_(buffer_capacity) {}

OutputFile::~OutputFile() {
    // A route dropped without its final write (an exception in the pass) still keeps
    // what it wrote.
    try {
        Flush();
    } catch (const FileError&) {
    }
}

bool OutputFile::Open(const std::string& path, OpenMode mode) {
    path_ = path;
    buffer_.clear();
    unit_ends_.clear();
    failed_ = false;
    if (!file_.Open(path, mode, Sharing::Exclusive)) {
        error_code_ = file_.error_code();
        return false;
    }
    try {
        file_length_ = file_.Length();
    } catch (const FileError& e) {
        error_code_ = e.code();
        file_ = File();
        return false;
    }
    starting_length_ = file_length_;
    error_code_ = 0;
    return true;
}

void OutputFile::FailWith(const FileError& error) {
    failed_ = true;
    error_code_ = error.code();
    buffer_.clear();
    unit_ends_.clear();
    // The handle goes; a failing close adds nothing to the error already raised.
    File closed = std::move(file_);
    throw error;
}

void OutputFile::KeepWholeUnits() noexcept {
    try {
        const std::int64_t length = file_.Length();
        std::int64_t keep = file_length_;
        for (std::size_t end : unit_ends_) {
            if (file_length_ + static_cast<std::int64_t>(end) > length)
                break;
            keep = file_length_ + static_cast<std::int64_t>(end);
        }
        if (keep < length)
            file_.Truncate(keep);
    } catch (const FileError&) {
        // The file stays as the system left it; the write failure is reported anyway.
    }
}

void OutputFile::SeekToEnd() {
    Flush();
    try {
        file_length_ = file_.Length();
        file_.Seek(file_length_);
        starting_length_ = file_length_;
    } catch (const FileError& e) {
        FailWith(e);
    }
}

void OutputFile::Write(std::string_view first, std::string_view second) {
    if (!file_.IsOpen()) {
        throw FileError("write to a closed file: " + path_, failed_ ? error_code_ : 0, path_);
    }
    const std::size_t size = first.size() + second.size();
    if (buffer_.size() + size > capacity_) {
        Flush();
        if (size >= capacity_) {
            WriteThrough(first, second);
            return;
        }
    }
    buffer_.append(first);
    buffer_.append(second);
    unit_ends_.push_back(buffer_.size());
}

void OutputFile::WriteThrough(std::string_view first, std::string_view second) {
    try {
        file_.Write(first);
        file_.Write(second);
    } catch (const FileError& e) {
        KeepWholeUnits();
        FailWith(e);
    }
    file_length_ += static_cast<std::int64_t>(first.size() + second.size());
}

void OutputFile::Flush() {
    if (buffer_.empty() || !file_.IsOpen())
        return;
    try {
        file_.Write(buffer_);
    } catch (const FileError& e) {
        KeepWholeUnits();
        FailWith(e);
    }
    file_length_ += static_cast<std::int64_t>(buffer_.size());
    buffer_.clear();
    unit_ends_.clear();
    // A file that goes onto the disk when it closes starts on its way now and then, while
    // the pass goes on decoding.
    if (durable_ && file_length_ - written_behind_ >= kWriteBehindStep) {
        file_.StartWriteBehind();
        written_behind_ = file_length_;
    }
}

void OutputFile::Close() {
    if (!file_.IsOpen())
        return;
    Flush();
    try {
        if (durable_)
            file_.Flush();
        file_.Close();
    } catch (const FileError& e) {
        FailWith(e);
    }
}

}  // namespace korvalen

#include "output/output_file.h"

#include <utility>

namespace korvalen {

OutputFile::OutputFile(std::size_t buffer_capacity) : capacity_(buffer_capacity) {
    buffer_.reserve(capacity_);
}

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
    failed_ = false;
    if (!file_.Open(path, mode, Sharing::Exclusive)) {
        error_code_ = file_.error_code();
        return false;
    }
    error_code_ = 0;
    return true;
}

void OutputFile::FailWith(const FileError& error) {
    failed_ = true;
    error_code_ = error.code();
    buffer_.clear();
    // The handle goes; a failing close adds nothing to the error already raised.
    File closed = std::move(file_);
    throw error;
}

void OutputFile::SeekToEnd() {
    Flush();
    try {
        file_.Seek(file_.Length());
    } catch (const FileError& e) {
        FailWith(e);
    }
}

void OutputFile::Write(std::string_view bytes) {
    if (!file_.IsOpen()) {
        throw FileError("write to a closed file: " + path_, failed_ ? error_code_ : 0, path_);
    }
    if (buffer_.size() + bytes.size() > capacity_) {
        Flush();
        if (bytes.size() >= capacity_) {
            try {
                file_.Write(bytes);
            } catch (const FileError& e) {
                FailWith(e);
            }
            return;
        }
    }
    buffer_.append(bytes);
}

void OutputFile::Flush() {
    if (buffer_.empty() || !file_.IsOpen())
        return;
    try {
        file_.Write(buffer_);
    } catch (const FileError& e) {
        FailWith(e);
    }
    buffer_.clear();
}

void OutputFile::Close() {
    if (!file_.IsOpen())
        return;
    Flush();
    try {
        file_.Close();
    } catch (const FileError& e) {
        FailWith(e);
    }
}

}  // namespace korvalen

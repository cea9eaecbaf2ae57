// A route's output file: buffered writes that never leave half a record on the disk.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/file.h"
#include "platform/file_messages.h"

namespace korvalen {

// A write of a record or line that the system refused, with the way the user is told of
// it: the message for the position record and the "C" line has no period after the code,
// the one for the inputs record, the "N" line and a failed close has one.
class OutputWriteError : public FileError {
  public:
    OutputWriteError(const FileError& error, CodePeriod period)
        : FileError(error), period_(period) {}
    CodePeriod period() const { return period_; }

  private:
    CodePeriod period_;
};

// Runs one write of a record or line; what the system refuses comes out as an
// OutputWriteError with `period`.
template <typename Write>
void WriteStep(CodePeriod period, const Write& write) {
    try {
        write();
    } catch (const OutputWriteError&) {
        throw;
    } catch (const FileError& error) {
        throw OutputWriteError(error, period);
    }
}

// One output file of a route (message file or CSV file), held exclusively while the
// decoding pass runs. Writes collect in memory and reach the system in large blocks, so a
// pass over a big dump makes few system calls.
//
// Its route owns it; the final write of the route closes it. Only the decoding thread
// uses it.
//
// Each Write call is one unit (a record, a line). The file never ends inside a unit: when
// the system refuses part of a block (a full disk), the file is cut back to the end of the
// last unit that reached it whole, so the dispatcher never meets half a record.
//
// Failures: Write, Flush and Close throw FileError. After the first failure the file is
// closed and its unwritten bytes are dropped; every later Write throws again with the
// same system code. The user is told once per file (see TakeFailureReport): a full disk
// would otherwise bring one message box per remaining record.
class OutputFile {
  public:
    static constexpr std::size_t kDefaultBufferCapacity = std::size_t{16} * 1024;
    // How much a durable file grows between two requests to write it behind.
    static constexpr std::int64_t kWriteBehindStep = std::int64_t{256} * 1024;

    // `buffer_capacity` 0 writes every unit straight through (tests on failing files).
    explicit OutputFile(std::size_t buffer_capacity = kDefaultBufferCapacity);
    // Flushes what is still buffered; errors are swallowed here (call Close to see them).
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Opens `path` with exclusive sharing. On failure returns false and keeps the system's
    // code in error_code().
    bool Open(const std::string& path, OpenMode mode);
    bool IsOpen() const { return file_.IsOpen(); }
    int error_code() const { return error_code_; }
    const std::string& path() const { return path_; }

    // Moves the write position to the end of the file (CSV files grow across runs).
    void SeekToEnd();
    // The file's length when it was opened, or when SeekToEnd found its end: where a pass
    // done again cuts a CSV file back to.
    std::int64_t starting_length() const { return starting_length_; }
    // How long the file is with what has been written to it (the buffer included).
    std::int64_t length() const { return file_length_ + static_cast<std::int64_t>(buffer_.size()); }
    // Close() puts the file onto the disk itself before it closes it: for files that are
    // handed over once the pass has finished them.
    void set_durable(bool durable) { durable_ = durable; }
    // Appends one unit, made of one or two pieces (a record's head and its text); throws
    // FileError when the file is closed or the system refuses.
    void Write(std::string_view first, std::string_view second = {});
    void Write(const void* data, std::size_t size) {
        Write(std::string_view(static_cast<const char*>(data), size));
    }
    // Hands the buffered bytes to the system.
    void Flush();
    // Flushes (onto the disk itself when durable) and closes. Closing a closed file does
    // nothing.
    void Close();

    // True the first time it is asked after a failure, false ever after: whether the
    // failure just caught is the one of this file that the user is told of.
    bool TakeFailureReport() { return std::exchange(failure_reported_, true) == false; }

  private:
    void WriteThrough(std::string_view first, std::string_view second);
    // After a refused write: cuts off a unit that reached the file only in part.
    void KeepWholeUnits() noexcept;
    [[noreturn]] void FailWith(const FileError& error);

    File file_;
    std::string path_;
    std::string buffer_;
    std::vector<std::size_t> unit_ends_;  // offsets in buffer_ where a unit ends
    std::int64_t file_length_ = 0;        // bytes in the file before buffer_
    std::int64_t starting_length_ = 0;
    std::int64_t written_behind_ = 0;  // file_length_ at the last request
    std::size_t capacity_;
    int error_code_ = 0;
    bool failed_ = false;
    bool failure_reported_ = false;
    bool durable_ = false;
};

}  // namespace korvalen

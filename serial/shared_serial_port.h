// The program's one serial port, shared by its threads under one lock.
#pragma once

#include <memory>
#include <mutex>

#include "serial/serial_port.h"

namespace korvalen {

// The one port of the program, used by the window's thread (commands, the abort, open
// and close), the reading thread and the device test. Every call is made under one
// lock, so a close never lands in the middle of another thread's read and no thread
// uses a port that has gone; while no port is attached every call fails. Calls are
// short (reads take only what is waiting), so nobody waits long for the lock.
class SharedSerialPort final : public SerialPort {
  public:
    // Takes the port; the previous one, if any, is closed.
    void Attach(std::unique_ptr<SerialPort> port);
    // Closes the port.
    void Detach();
    bool attached() const;

    bool SetTimeouts(const SerialTimeouts& timeouts) override;
    bool SetReceiveEventMask() override;
    bool SetLineState(std::string_view mode, ControlLines lines) override;
    bool SetQueueSizes(std::size_t input, std::size_t output) override;
    bool Purge() override;
    bool DiscardInput() override;
    std::optional<std::size_t> BytesWaiting() override;
    std::optional<std::size_t> Read(void* buffer, std::size_t size) override;
    // The query and the read under one hold of the lock: a purge from another thread
    // (the abort) cannot come between them and leave the read waiting.
    std::optional<std::size_t> ReadWaiting(void* buffer, std::size_t size) override;
    bool Write(std::string_view bytes) override;
    int last_error() const override;

  private:
    template <typename Result, typename Call>
    Result Forward(Result failure, const Call& call) {
        std::lock_guard lock(mutex_);
        if (!port_) {
            last_error_ = kNoPortError;
            return failure;
        }
        Result result = call(*port_);
        last_error_ = port_->last_error();
        return result;
    }

    // What a call on a closed port reports: ERROR_INVALID_HANDLE on Windows (EBADF has
    // another number on POSIX, but the program only shows the code).
    static constexpr int kNoPortError = 6;

    mutable std::mutex mutex_;
    std::unique_ptr<SerialPort> port_;  // guarded by mutex_
    int last_error_ = 0;                // guarded by mutex_
};

}  // namespace korvalen

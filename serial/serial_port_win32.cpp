// Win32 side of the serial port: the comm API on "\\.\COMn".
#include <windows.h>

#include <algorithm>
#include <limits>

#include "platform/wide_string_win32.h"
#include "serial/serial_port.h"

namespace korvalen {
namespace {

// A COM port through the comm API. The port is opened without overlapped I/O: every
// call completes before it returns, and the program only reads what ClearCommError
// reports as waiting, so no read waits for the time-outs.
class Win32SerialPort final : public SerialPort {
  public:
    explicit Win32SerialPort(HANDLE handle) : handle_(handle) {}
    ~Win32SerialPort() override { CloseHandle(handle_); }
    Win32SerialPort(const Win32SerialPort&) = delete;
    Win32SerialPort& operator=(const Win32SerialPort&) = delete;

    bool SetTimeouts(const SerialTimeouts& t) override {
        COMMTIMEOUTS timeouts{};
        timeouts.ReadIntervalTimeout = t.read_interval;
        timeouts.ReadTotalTimeoutMultiplier = t.read_total_multiplier;
        timeouts.ReadTotalTimeoutConstant = t.read_total_constant;
        timeouts.WriteTotalTimeoutMultiplier = t.write_total_multiplier;
        timeouts.WriteTotalTimeoutConstant = t.write_total_constant;
        return Check(SetCommTimeouts(handle_, &timeouts));
    }

    bool SetReceiveEventMask() override { return Check(SetCommMask(handle_, EV_RXCHAR)); }

    bool SetLineState(std::string_view mode, ControlLines lines) override {
        DCB state{};
        state.DCBlength = sizeof(state);
        if (!Check(GetCommState(handle_, &state)))
            return false;
        if (!Check(BuildCommDCBW(Widen(mode).c_str(), &state)))
            return false;
        // The lines after the mode string: parsing a mode string may reset the flow
        // control fields, the control lines among them.
        const bool on = lines == ControlLines::On;
        state.fDtrControl = on ? DTR_CONTROL_ENABLE : DTR_CONTROL_DISABLE;
        state.fRtsControl = on ? RTS_CONTROL_ENABLE : RTS_CONTROL_DISABLE;
        return Check(SetCommState(handle_, &state));
    }

    bool SetQueueSizes(std::size_t input, std::size_t output) override {
        return Check(SetupComm(handle_, static_cast<DWORD>(input), static_cast<DWORD>(output)));
    }

    bool Purge() override {
        return Check(
            PurgeComm(handle_, PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR));
    }

    bool DiscardInput() override {
        return Check(PurgeComm(handle_, PURGE_RXABORT | PURGE_RXCLEAR));
    }

    std::optional<std::size_t> BytesWaiting() override {
        DWORD errors = 0;
        COMSTAT status{};
        if (!Check(ClearCommError(handle_, &errors, &status)))
            return std::nullopt;
        return static_cast<std::size_t>(status.cbInQue);
    }

    std::optional<std::size_t> Read(void* buffer, std::size_t size) override {
        DWORD got = 0;
        const auto wanted =
            static_cast<DWORD>(std::min<std::size_t>(size, std::numeric_limits<DWORD>::max()));
        if (!Check(ReadFile(handle_, buffer, wanted, &got, nullptr)))
            return std::nullopt;
        return static_cast<std::size_t>(got);
    }

    bool Write(std::string_view bytes) override {
        DWORD sent = 0;
        return Check(WriteFile(handle_, bytes.data(), static_cast<DWORD>(bytes.size()), &sent,
                               nullptr)) &&
               sent == bytes.size();
    }

    int last_error() const override { return last_error_; }

  private:
    bool Check(BOOL succeeded) {
        if (!succeeded)
            last_error_ = static_cast<int>(GetLastError());
        return succeeded != FALSE;
    }

    HANDLE handle_;
    int last_error_ = 0;
};

}  // namespace

std::unique_ptr<SerialPort> OpenSerialPort(const std::string& device, int& error_code) {
    // "COM10" and above open only by their device path; "\\.\COM1" works for all.
    const std::string path = device.rfind("\\\\", 0) == 0 ? device : "\\\\.\\" + device;
    HANDLE handle = CreateFileW(Widen(path).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        error_code = static_cast<int>(GetLastError());
        return nullptr;
    }
    auto port = std::make_unique<Win32SerialPort>(handle);
    // A name that opens but is no serial line is refused: Wine opens a COM name whose
    // device has gone (the link to a pulled adapter) and fails only at the first comm
    // call.
    DCB state{};
    state.DCBlength = sizeof(state);
    if (!GetCommState(handle, &state)) {
        error_code = static_cast<int>(GetLastError());
        return nullptr;
    }
    error_code = 0;
    return port;
}

}  // namespace korvalen

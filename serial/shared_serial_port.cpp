// Every port call forwarded under the lock, or refused while no port is attached.
#include "serial/shared_serial_port.h"

namespace korvalen {
void SharedSerialPort::Attach(std::unique_ptr<SerialPort> port) {
    std::lock_guard lock(mutex_);
    port_ = std::move(port);
}

void SharedSerialPort::Detach() {
    std::lock_guard lock(mutex_);
    port_.reset();
}

bool SharedSerialPort::attached() const {
    std::lock_guard lock(mutex_);
    return port_ != nullptr;
}

bool SharedSerialPort::SetTimeouts(const SerialTimeouts& timeouts) {
    return Forward(false, [&](SerialPort& port) { return port.SetTimeouts(timeouts); });
}
bool SharedSerialPort::SetReceiveEventMask() {
    return Forward(false, [](SerialPort& port) { return port.SetReceiveEventMask(); });
}
bool SharedSerialPort::SetLineState(std::string_view mode, ControlLines lines) {
    return Forward(false, [&](SerialPort& port) { return port.SetLineState(mode, lines); });
}
bool SharedSerialPort::SetQueueSizes(std::size_t input, std::size_t output) {
    return Forward(false, [&](SerialPort& port) { return port.SetQueueSizes(input, output); });
}
bool SharedSerialPort::Purge() {
    return Forward(false, [](SerialPort& port) { return port.Purge(); });
}
bool SharedSerialPort::DiscardInput() {
    return Forward(false, [](SerialPort& port) { return port.DiscardInput(); });
}
std::optional<std::size_t> SharedSerialPort::BytesWaiting() {
    return Forward<std::optional<std::size_t>>(
        std::nullopt, [](SerialPort& port) { return port.BytesWaiting(); });
}
std::optional<std::size_t> SharedSerialPort::ReadWaiting(void* buffer, std::size_t size) {
    return Forward<std::optional<std::size_t>>(
        std::nullopt, [&](SerialPort& port) { return port.ReadWaiting(buffer, size); });
}

std::optional<std::size_t> SharedSerialPort::Read(void* buffer, std::size_t size) {
    return Forward<std::optional<std::size_t>>(
        std::nullopt, [&](SerialPort& port) { return port.Read(buffer, size); });
}
bool SharedSerialPort::Write(std::string_view bytes) {
    return Forward(false, [&](SerialPort& port) { return port.Write(bytes); });
}

int SharedSerialPort::last_error() const {
    std::lock_guard lock(mutex_);
    return last_error_;
}

}  // namespace korvalen

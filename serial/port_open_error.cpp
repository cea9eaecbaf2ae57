// The reasons of a port that did not open, from the codes each system gives for them.
#include "serial/port_open_error.h"

#include <algorithm>
#include <cerrno>
#include <span>

#include "platform/string_printf.h"

namespace korvalen {
namespace {

struct ReasonCodes {
    std::span<const int> in_use;
    std::span<const int> missing;
};

// Windows: ERROR_ACCESS_DENIED (5) and ERROR_SHARING_VIOLATION (32) for a port another
// program has open; ERROR_LOCK_VIOLATION (33) is what Wine gives for a device that a Linux
// program holds exclusively. ERROR_FILE_NOT_FOUND (2) and ERROR_PATH_NOT_FOUND (3) for a
// name nobody has; ERROR_INVALID_FUNCTION (1) for a name that opens but is no serial
// device (Wine's port whose device is gone).
constexpr int kWin32InUse[] = {5, 32, 33};
constexpr int kWin32Missing[] = {1, 2, 3};
// POSIX: EBUSY from a terminal held in exclusive mode, EWOULDBLOCK from a device locked
// with flock; no such file, device or address.
constexpr int kPosixInUse[] = {EBUSY, EWOULDBLOCK};
constexpr int kPosixMissing[] = {ENOENT, ENODEV, ENXIO};

bool Among(int code, std::span<const int> codes) {
    return std::find(codes.begin(), codes.end(), code) != codes.end();
}

}  // namespace

std::string PortOpenErrorReason(int code, ErrorCodes codes) {
    const ReasonCodes reasons = codes == ErrorCodes::Win32
                                    ? ReasonCodes{kWin32InUse, kWin32Missing}
                                    : ReasonCodes{kPosixInUse, kPosixMissing};
    if (Among(code, reasons.in_use))
        return "Порт занят другой программой";
    if (Among(code, reasons.missing))
        return "Такого порта нет в системе";
    return StringPrintf("Код ошибки: %d. %s", code, SystemErrorText(code).c_str());
}

std::string PortOpenErrorReason(int code) {
    return PortOpenErrorReason(code, SystemErrorCodes());
}

std::string PortOpenErrorMessage(int code) {
    return "Ошибка соединения с COM-портом!\n" + PortOpenErrorReason(code);
}

}  // namespace korvalen

// Why a serial port did not open, told to the user in a line.
#pragma once

#include <string>

#include "platform/system_error.h"

namespace korvalen {

// The reason for a system's error code of a port's opening: the port is held by another
// program, there is no such port, or else the code with the system's own words.
std::string PortOpenErrorReason(int code, ErrorCodes codes);
// The same for this system's codes.
std::string PortOpenErrorReason(int code);

// The message of a failed opening: "Ошибка соединения с COM-портом!", the reason below.
std::string PortOpenErrorMessage(int code);

}  // namespace korvalen

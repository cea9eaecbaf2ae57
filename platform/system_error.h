// The system's own description of an error code, for messages and the tools' output.
#pragma once

#include <string>

namespace korvalen {

// The system's own words for one of its error codes (errno on POSIX, GetLastError's on
// Windows), without a line end; "error N" when the system has none.
std::string SystemErrorText(int code);

// Whose error codes this system's calls give, for rules that tell some codes apart.
enum class ErrorCodes { Win32, Posix };
ErrorCodes SystemErrorCodes();

}  // namespace korvalen

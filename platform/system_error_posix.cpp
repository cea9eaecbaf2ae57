// POSIX side of the error descriptions: strerror.
#include <cstring>

#include "platform/system_error.h"

namespace korvalen {

std::string SystemErrorText(int code) {
    const char* text = std::strerror(code);
    return text && *text ? text : "error " + std::to_string(code);
}

ErrorCodes SystemErrorCodes() {
    return ErrorCodes::Posix;
}

}  // namespace korvalen

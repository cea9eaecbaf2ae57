// The port names and the reader's line mode, the same on every system.
#include "serial/serial_port.h"

#include "platform/string_printf.h"

namespace korvalen {

std::string ComPortName(int number) {
    return StringPrintf("COM%d", number);
}

std::string ReaderLineMode() {
    return StringPrintf("baud=%d parity=%c data=%d stop=%d", 115200, 'N', 8, 1);
}

}  // namespace korvalen

// The reader's protocol as the program speaks it: the commands; the reply header that
// begins every transfer, and its dump, is decode/reply_header.h.
#pragma once

#include <string_view>

#include "decode/reply_header.h"

namespace korvalen {

// The commands the program writes to the reader: five ASCII bytes each, in one write,
// with no line end.
inline constexpr std::string_view kQueryAllData = "(QAD)";  // the whole flash
inline constexpr std::string_view kQueryNewData = "(QND)";  // what is new since the last "(SDD)"
inline constexpr std::string_view kAcknowledge = "(SDD)";   // the new data have been received
inline constexpr std::string_view kStopTransfer = "(SSS)";  // stop the running transfer
inline constexpr std::string_view kQueryTest = "(QTF)";     // run the device test
inline constexpr std::string_view kEraseFlash = "(SEF)";    // clear the flash memory

// Told when a read from the port failed; the reader is asked again by the user.
inline constexpr std::string_view kReadFailureMessage =
    "В ходе чтения данных из CОM-порта произошла ошибка. Попробуйте повторить считывание!";

}  // namespace korvalen

// The service dialog behind Ctrl+Alt+F1: the reader's self-test and the clearing of the flash.
#pragma once

#include <windows.h>

#include "serial/serial_port.h"

namespace korvalen {

// The device test dialog (CTestDlg, resource 135), modal: the reader's self-test report
// line by line, and the clearing of the logger's flash. The caller has stopped the
// reading thread: the dialog has `port` to itself until it returns. True when the reader
// answered a test.
bool RunDeviceTestDialog(HWND owner, SerialPort& port);

}  // namespace korvalen

// The About box, with the build's date and revision.
#pragma once

#include <windows.h>

namespace korvalen {

// The About box (CAboutDlg): the program's picture, name and version; modal, no result.
void ShowAboutBox(HWND owner);

}  // namespace korvalen

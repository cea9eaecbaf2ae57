// The prompt for the ID of records that carry none, asked during a decoding pass.
#pragma once

#include <windows.h>

#include <string>

namespace korvalen {

// The object ID prompt (CSelectID, dialog 134): asks for the four-digit ID of records that
// carry none. Modal on the calling thread. Returns the ID typed before an accepted OK, or
// "0000" when the prompt was cancelled (Esc): the caller takes the answer either way.
std::string AskObjectId(HWND owner);

}  // namespace korvalen

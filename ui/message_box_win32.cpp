// Win32 side of the core's messages: message boxes with the system's icons.
#include "ui/message_box_win32.h"

#include "platform/wide_string_win32.h"

namespace korvalen {

void WindowMessageSink::ShowMessage(std::string_view text, std::string_view caption,
                                    MessageIcon icon) {
    UINT type = MB_OK;
    switch (icon) {
        case MessageIcon::None:
            break;
        case MessageIcon::Stop:
            type |= MB_ICONSTOP;
            break;
        case MessageIcon::Exclamation:
            type |= MB_ICONEXCLAMATION;
            break;
        case MessageIcon::Information:
            type |= MB_ICONINFORMATION;
            break;
    }
    MessageBoxW(owner_, Widen(text).c_str(), Widen(caption).c_str(), type);
}

int ShowMessageBox(HWND owner, std::string_view text, UINT type) {
    return MessageBoxW(owner, Widen(text).c_str(), Widen(kProgramCaption).c_str(), type);
}

}  // namespace korvalen

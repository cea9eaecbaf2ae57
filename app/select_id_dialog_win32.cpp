// The ID prompt on Win32: it closes only on four digits, or with "0000" on Esc.
#include "app/select_id_dialog_win32.h"

#include "platform/wide_string_win32.h"
#include "res/resource.h"
#include "settings/object_id_text.h"
#include "ui/message_box_win32.h"
#include "ui/window_text_win32.h"

namespace korvalen {
namespace {

constexpr int kObjectIdLength = 4;

// OK (or Enter): closes the prompt only for four digits. A longer text (the edit's limit
// holds typing, not a pasted or set text) is refused with a message; anything else keeps
// the prompt open without one.
void OnOk(HWND dialog, std::string& id) {
    HWND edit = GetDlgItem(dialog, IDC_OBJECT_ID);
    const std::string text = WindowText(edit);
    switch (CheckObjectIdText(text)) {
        case ObjectIdVerdict::Accepted:
            id = text;
            EndDialog(dialog, IDOK);
            break;
        case ObjectIdVerdict::TooLong:
            ShowMessageBox(dialog, kObjectIdTooLongMessage, MB_OK | MB_ICONEXCLAMATION);
            SetFocus(edit);
            SendMessageW(edit, EM_SETSEL, 0, -1);
            break;
        case ObjectIdVerdict::NotAnId:
            break;
    }
}

INT_PTR CALLBACK SelectIdProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
        case WM_INITDIALOG: {
            SetWindowLongPtrW(dialog, DWLP_USER, lparam);
            const auto* id = reinterpret_cast<const std::string*>(lparam);
            HWND edit = GetDlgItem(dialog, IDC_OBJECT_ID);
            SendMessageW(edit, EM_LIMITTEXT, kObjectIdLength, 0);
            SetWindowTextW(edit, Widen(*id).c_str());
            return TRUE;
        }
        case WM_COMMAND: {
            auto* id = reinterpret_cast<std::string*>(GetWindowLongPtrW(dialog, DWLP_USER));
            if (LOWORD(wparam) == IDOK) {
                OnOk(dialog, *id);
                return TRUE;
            }
            if (LOWORD(wparam) == IDCANCEL) {
                EndDialog(dialog, IDCANCEL);
                return TRUE;
            }
            break;
        }
        default:
            break;
    }
    return FALSE;
}

}  // namespace

std::string AskObjectId(HWND owner) {
    std::string id = "0000";
    DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_SELECT_ID), owner, SelectIdProc,
                    reinterpret_cast<LPARAM>(&id));
    return id;
}

}  // namespace korvalen

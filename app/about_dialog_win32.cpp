// The About box on Win32: the build's date and revision filled in when it opens.
#include "app/about_dialog_win32.h"

#include "build_info.h"
#include "platform/wide_string_win32.h"
#include "res/resource.h"

namespace korvalen {
namespace {

INT_PTR CALLBACK AboutProc(HWND dialog, UINT message, WPARAM wparam, LPARAM) {
    switch (message) {
        case WM_INITDIALOG:
            SetDlgItemTextW(dialog, IDC_ABOUT_VERSION,
                            Widen(std::string("Версия ") + KORVALEN_VERSION).c_str());
            SetDlgItemTextW(dialog, IDC_ABOUT_BUILD,
                            Widen(std::string("Сборка от ") + KORVALEN_BUILD_DATE).c_str());
            SetDlgItemTextW(dialog, IDC_ABOUT_REVISION,
                            Widen(std::string("Ревизия ") + KORVALEN_REVISION).c_str());
            return TRUE;
        case WM_COMMAND:
            if (LOWORD(wparam) == IDOK || LOWORD(wparam) == IDCANCEL) {
                EndDialog(dialog, LOWORD(wparam));
                return TRUE;
            }
            break;
    }
    return FALSE;
}

}  // namespace

void ShowAboutBox(HWND owner) {
    DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_ABOUTBOX), owner, AboutProc, 0);
}

}  // namespace korvalen

// The help window as a modeless dialog, filled once from the guide in the resources.
#include "app/help_window_win32.h"

#include <string_view>

#include "app/help_text.h"
#include "platform/wide_string_win32.h"
#include "res/resource.h"

namespace korvalen {
namespace {

// The guide as the resources hold it (UTF-8).
std::string_view GuideResource() {
    HMODULE module = GetModuleHandleW(nullptr);
    HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(IDR_HELP_TEXT), RT_RCDATA);
    HGLOBAL loaded = found ? LoadResource(module, found) : nullptr;
    const void* bytes = loaded ? LockResource(loaded) : nullptr;
    if (!bytes)
        return {};
    return {static_cast<const char*>(bytes), SizeofResource(module, found)};
}

}  // namespace

HelpWindow::~HelpWindow() {
    if (window_)
        DestroyWindow(window_);
}

void HelpWindow::Show(HWND owner) {
    if (!window_) {
        window_ = CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_HELP), owner,
                                     Proc, reinterpret_cast<LPARAM>(this));
        if (!window_)
            return;
        SetDlgItemTextW(window_, IDC_HELP_TEXT, Widen(HelpWindowText(GuideResource())).c_str());
    }
    ShowWindow(window_, IsIconic(window_) ? SW_RESTORE : SW_SHOW);
    SetForegroundWindow(window_);
}

INT_PTR CALLBACK HelpWindow::Proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
        case WM_INITDIALOG:
            // The focus on the button, so the text is not shown all selected.
            SetWindowLongPtrW(window, DWLP_USER, lparam);
            SetFocus(GetDlgItem(window, IDOK));
            return FALSE;
        case WM_COMMAND:
            if (LOWORD(wparam) == IDOK || LOWORD(wparam) == IDCANCEL) {
                DestroyWindow(window);
                return TRUE;
            }
            return FALSE;
        case WM_DESTROY:
            if (auto* help = reinterpret_cast<HelpWindow*>(GetWindowLongPtrW(window, DWLP_USER)))
                help->window_ = nullptr;
            return FALSE;
        default:
            return FALSE;
    }
}

}  // namespace korvalen

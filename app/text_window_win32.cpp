// The text window as a modeless dialog, with the dialog manager's keys whichever message
// loop runs.
#include "app/text_window_win32.h"

#include <algorithm>
#include <vector>

#include "app/win32_handles_win32.h"
#include "platform/wide_string_win32.h"
#include "res/resource.h"

namespace korvalen {
namespace {

// The text windows open on the UI thread, and while any is open a hook that hands their
// keys to the dialog manager. A modeless dialog gets Tab, Esc and Enter only from a
// message loop that passes its messages to IsDialogMessage, and the loops that run
// while it is open know nothing of it: the main window's own loop serves the main
// window, a modal dialog's loop that dialog.
struct OpenTextWindows {
    std::vector<HWND> windows;
    UniqueHook hook;
};

OpenTextWindows& Open() {
    static OpenTextWindows open;
    return open;
}

LRESULT CALLBACK DialogKeysHook(int code, WPARAM removed, LPARAM lparam) {
    auto* message = reinterpret_cast<MSG*>(lparam);
    if (code == HC_ACTION && removed == PM_REMOVE && message->message >= WM_KEYFIRST &&
        message->message <= WM_KEYLAST) {
        const auto& windows = Open().windows;
        HWND root = GetAncestor(message->hwnd, GA_ROOT);
        if (std::find(windows.begin(), windows.end(), root) != windows.end() &&
            IsDialogMessageW(root, message)) {
            message->message = WM_NULL;  // handled: the loop that took it does nothing more
        }
    }
    return CallNextHookEx(nullptr, code, removed, lparam);
}

void Register(HWND window) {
    OpenTextWindows& open = Open();
    open.windows.push_back(window);
    if (!open.hook)
        open.hook.reset(
            SetWindowsHookExW(WH_GETMESSAGE, DialogKeysHook, nullptr, GetCurrentThreadId()));
}

void Unregister(HWND window) {
    OpenTextWindows& open = Open();
    std::erase(open.windows, window);
    if (open.windows.empty())
        open.hook.reset();
}

HICON ProgramIcon(int width_metric, int height_metric) {
    return static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_MAINFRAME),
                                         IMAGE_ICON, GetSystemMetrics(width_metric),
                                         GetSystemMetrics(height_metric), LR_SHARED));
}

// An edit control breaks lines only at CR LF.
std::string WithCrLf(std::string_view text) {
    std::string out;
    out.reserve(text.size() + text.size() / 32);
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r'))
            out += '\r';
        out += text[i];
    }
    return out;
}

}  // namespace

TextWindow::~TextWindow() {
    if (window_)
        DestroyWindow(window_);
}

void TextWindow::Show(HWND owner, std::string_view text) {
    if (!window_) {
        window_ = CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_TEXT_WINDOW),
                                     owner, Proc, reinterpret_cast<LPARAM>(this));
        if (!window_)
            return;
        shown_.clear();
    }
    std::string lines = WithCrLf(text);
    if (lines != shown_) {
        SetDlgItemTextW(window_, IDC_TEXT_WINDOW_TEXT, Widen(lines).c_str());
        shown_ = std::move(lines);
    }
    ShowWindow(window_, IsIconic(window_) ? SW_RESTORE : SW_SHOW);
    SetForegroundWindow(window_);
}

INT_PTR CALLBACK TextWindow::Proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
        case WM_INITDIALOG: {
            SetWindowLongPtrW(window, DWLP_USER, lparam);
            const auto* self = reinterpret_cast<const TextWindow*>(lparam);
            SetWindowTextW(window, Widen(self->title_).c_str());
            SendMessageW(window, WM_SETICON, ICON_BIG,
                         reinterpret_cast<LPARAM>(ProgramIcon(SM_CXICON, SM_CYICON)));
            SendMessageW(window, WM_SETICON, ICON_SMALL,
                         reinterpret_cast<LPARAM>(ProgramIcon(SM_CXSMICON, SM_CYSMICON)));
            Register(window);
            // The focus on the button, so the text is not shown all selected.
            SetFocus(GetDlgItem(window, IDOK));
            return FALSE;
        }
        case WM_COMMAND:
            if (LOWORD(wparam) == IDOK || LOWORD(wparam) == IDCANCEL) {
                DestroyWindow(window);
                return TRUE;
            }
            return FALSE;
        case WM_CLOSE:
            DestroyWindow(window);
            return TRUE;
        case WM_DESTROY:
            Unregister(window);
            if (auto* self = reinterpret_cast<TextWindow*>(GetWindowLongPtrW(window, DWLP_USER)))
                self->window_ = nullptr;
            return FALSE;
        default:
            return FALSE;
    }
}

}  // namespace korvalen

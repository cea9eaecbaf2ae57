// The workers' calls made on the main window: messages sent to its controls, modal boxes on
// the worker's own thread.
#include "app/window_worker_host_win32.h"

#include <commctrl.h>

#include "app/main_dialog_win32.h"
#include "app/ui_state.h"
#include "platform/wide_string_win32.h"
#include "res/resource.h"
#include "settings/select_id_dialog_win32.h"
#include "ui/message_box_win32.h"

namespace korvalen {

HWND WindowWorkerHost::owner() const {
    return window_.window();
}

LRESULT WindowWorkerHost::SendToControl(int id, UINT message, WPARAM wparam, LPARAM lparam) const {
    return SendDlgItemMessageW(owner(), id, message, wparam, lparam);
}

void WindowWorkerHost::ShowMessage(std::string_view text, std::string_view caption,
                                   MessageIcon icon) {
    WindowMessageSink sink;
    sink.set_owner(owner());
    sink.ShowMessage(text, caption, icon);
}

bool WindowWorkerHost::AskYesNo(std::string_view question) {
    return ShowMessageBox(owner(), question, MB_YESNO | MB_ICONQUESTION) == IDYES;
}

std::string WindowWorkerHost::PromptObjectId() {
    return AskObjectId(owner());
}

int WindowWorkerHost::ProgressRangeUpper() {
    return static_cast<int>(SendToControl(IDC_PROGRESS, PBM_GETRANGE, FALSE, 0));
}

void WindowWorkerHost::SetProgressRange(std::uint16_t upper) {
    SendToControl(IDC_PROGRESS, PBM_SETRANGE, 0, MAKELPARAM(0, upper));
}

void WindowWorkerHost::SetProgressPosition(int position) {
    SendToControl(IDC_PROGRESS, PBM_SETPOS, static_cast<WPARAM>(position), 0);
}

void WindowWorkerHost::InsertLogLineAtTop(std::string_view line) {
    const std::wstring text = Widen(line);
    SendToControl(IDC_LOG_LIST, LB_INSERTSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
    WidenLogScrollRange(text);
}

// A list box scrolls sideways only as far as it is told: a line wider than the list (a
// long path) is made reachable with the horizontal scroll bar.
void WindowWorkerHost::WidenLogScrollRange(const std::wstring& text) {
    HWND list = GetDlgItem(owner(), IDC_LOG_LIST);
    if (!list)
        return;
    HDC dc = GetDC(list);
    if (!dc)
        return;
    const auto font = reinterpret_cast<HFONT>(SendMessageW(list, WM_GETFONT, 0, 0));
    HGDIOBJ previous = font ? SelectObject(dc, font) : nullptr;
    SIZE size{};
    const bool measured =
        GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
    if (previous)
        SelectObject(dc, previous);
    ReleaseDC(list, dc);
    constexpr int kMargin = 8;  // the list's own inner margin and a little air
    const auto needed = static_cast<WPARAM>(size.cx + kMargin);
    if (measured && needed > static_cast<WPARAM>(SendMessageW(list, LB_GETHORIZONTALEXTENT, 0, 0)))
        SendMessageW(list, LB_SETHORIZONTALEXTENT, needed, 0);
}

int WindowWorkerHost::LogLineCount() {
    const LRESULT count = SendToControl(IDC_LOG_LIST, LB_GETCOUNT, 0, 0);
    return count == LB_ERR ? 0 : static_cast<int>(count);
}

void WindowWorkerHost::SetActionButtonCaption(std::string_view caption) {
    SetDlgItemTextW(owner(), IDC_DECODE_FILE, Widen(caption).c_str());
}

void WindowWorkerHost::SetStatusText(std::string_view text) {
    const std::wstring wide = Widen(text);
    SendToControl(IDC_STATUS_BAR, SB_SETTEXTW, 1, reinterpret_cast<LPARAM>(wide.c_str()));
}

void WindowWorkerHost::SetUiState(UiState state) {
    // A pass that ends asks for "ready"; the window shows whether the reader is
    // connected instead (a decoded file says nothing about the port).
    if (state == UiState::Ready)
        window_.SetUiStateAfterWork();
    else
        window_.SetUiState(state);
    window_.RefreshControls();
}

std::string WindowWorkerHost::DumpFilePath() {
    return window_.DumpFilePath();
}

void WindowWorkerHost::DecodeDump(const std::string& path) {
    window_.DecodeDump(path);
    window_.RefreshControls();
}

}  // namespace korvalen

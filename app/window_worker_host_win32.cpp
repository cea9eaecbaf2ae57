// The workers' calls made on the main window: requests queued for the window's thread, modal
// boxes on the worker's own thread.
#include "app/window_worker_host_win32.h"

#include <commctrl.h>

#include "app/main_dialog_win32.h"
#include "app/select_id_dialog_win32.h"
#include "app/ui_state.h"
#include "platform/wide_string_win32.h"
#include "res/resource.h"
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

void WindowWorkerHost::SetProgressRange(std::uint16_t upper) {
    range_upper_ = upper;
    Queue({Request::Kind::Range, upper, {}});
}

void WindowWorkerHost::SetProgressPosition(int position) {
    Queue({Request::Kind::Position, position, {}});
}

void WindowWorkerHost::Queue(Request request) {
    bool first = false;
    {
        std::lock_guard lock(mutex_);
        // Only the last of several positions in a row is ever seen.
        if (request.kind == Request::Kind::Position && !requests_.empty() &&
            requests_.back().kind == Request::Kind::Position) {
            requests_.back() = std::move(request);
            return;
        }
        first = requests_.empty();
        requests_.push_back(std::move(request));
    }
    // One message wakes the window for everything queued until it comes to it.
    if (first)
        PostMessageW(owner(), kWorkerRequestsMessage, 0, 0);
}

void WindowWorkerHost::ApplyRequests() {
    std::vector<Request> requests;
    {
        std::lock_guard lock(mutex_);
        requests.swap(requests_);
    }
    for (const Request& request : requests) {
        switch (request.kind) {
            case Request::Kind::Range:
                SendToControl(IDC_PROGRESS, PBM_SETRANGE, 0, MAKELPARAM(0, request.value));
                break;
            case Request::Kind::Position:
                SendToControl(IDC_PROGRESS, PBM_SETPOS, static_cast<WPARAM>(request.value), 0);
                break;
            case Request::Kind::Caption:
                SetDlgItemTextW(owner(), IDC_DECODE_FILE, Widen(request.text).c_str());
                break;
            case Request::Kind::Status:
                SendToControl(IDC_STATUS_BAR, SB_SETTEXTW, 1,
                              reinterpret_cast<LPARAM>(Widen(request.text).c_str()));
                break;
            case Request::Kind::PortLost:
                window_.OnPortLost();
                break;
            case Request::Kind::ReaderAnswered:
                window_.OnReaderAnswered(request.text);
                break;
            case Request::Kind::State: {
                // A worker that ends asks for "ready"; the window shows whether the reader
                // is connected instead (a decoded file says nothing about the port).
                const auto state = static_cast<UiState>(request.value);
                window_.ShowUiState(state, state == UiState::Ready);
                break;
            }
        }
    }
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
    Queue({Request::Kind::Caption, 0, std::string(caption)});
}

void WindowWorkerHost::SetStatusText(std::string_view text) {
    Queue({Request::Kind::Status, 0, std::string(text)});
}

void WindowWorkerHost::SetUiState(UiState state) {
    Queue({Request::Kind::State, static_cast<int>(state), {}});
}

void WindowWorkerHost::PortLost() {
    Queue({Request::Kind::PortLost, 0, {}});
}

void WindowWorkerHost::ReaderAnswered(std::string_view port) {
    Queue({Request::Kind::ReaderAnswered, 0, std::string(port)});
}

}  // namespace korvalen

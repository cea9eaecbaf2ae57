// The road's events on the main window: requests queued for the window's thread, modal
// boxes on the worker's own thread.
#include "app/window_road_win32.h"

#include <commctrl.h>

#include "app/main_dialog_win32.h"
#include "app/select_id_dialog_win32.h"
#include "app/ui_state.h"
#include "platform/file_messages.h"
#include "platform/wide_string_win32.h"
#include "res/resource.h"
#include "serial/reader_protocol.h"
#include "ui/message_box_win32.h"

namespace korvalen {

HWND WindowRoad::owner() const {
    return window_.window();
}

LRESULT WindowRoad::SendToControl(int id, UINT message, WPARAM wparam, LPARAM lparam) const {
    return SendDlgItemMessageW(owner(), id, message, wparam, lparam);
}

void WindowRoad::ShowMessage(std::string_view text, std::string_view caption, MessageIcon icon) {
    WindowMessageSink sink;
    sink.set_owner(owner());
    sink.ShowMessage(text, caption, icon);
}

bool WindowRoad::AskYesNo(std::string_view question) {
    return ShowMessageBox(owner(), question, MB_YESNO | MB_ICONQUESTION) == IDYES;
}

std::string WindowRoad::PromptObjectId() {
    return AskObjectId(owner());
}

void WindowRoad::CaptureStarted(std::string_view) {
    Queue({Request::Kind::Caption, 0, std::string(kAbortCaption), {}});
    Queue({Request::Kind::State, static_cast<int>(UiState::Busy), {}, {}});
}

// Modal on the reading thread, which does not read on meanwhile: the transfer that
// could not be captured is not offered again while the message is up.
void WindowRoad::CaptureRefused(const CaptureRefusal& refusal) {
    ShowOpenFailure(*this, refusal.code, refusal.path, MessageIcon::None);
}

void WindowRoad::CaptureEnded(const CaptureReport& report) {
    if (!report.dump_written)
        ShowWriteFailure(*this, CodePeriod::With, report.dump_error, report.dump);
    if (report.read_failed)
        ShowMessage(kReadFailureMessage, kProgramCaption, MessageIcon::Stop);
}

// The state that follows shows "Считывание" in its place: the window is busy, whichever
// worker keeps it so.
void WindowRoad::PassStarted(const PassStart&) {
    Queue({Request::Kind::Caption, 0, std::string(kAbortCaption), {}});
    Queue({Request::Kind::Status, 0, std::string(kDecodingStatus), {}});
    Queue({Request::Kind::State, static_cast<int>(UiState::Busy), {}, {}});
}

void WindowRoad::PassEnded(const PassEnd& pass) {
    if (pass.opened)
        Queue({Request::Kind::Summary, 0, {}, FormatPassSummary(pass.outcome)});
    if (!pass.notes.empty())
        Queue({Request::Kind::Lines, 0, {}, pass.notes});
    if (!pass.opened)
        return;
    if (pass.progress_free)
        Queue({Request::Kind::Caption, 0, std::string(kDecodeCaption), {}});
    Queue({Request::Kind::State, static_cast<int>(UiState::Ready), {}, {}});
}

void WindowRoad::ProgressMoved(const ProgressStep& step) {
    if (step.range)
        Queue({Request::Kind::Range, *step.range, {}, {}});
    else
        Queue({Request::Kind::Position, step.position, {}, {}});
}

void WindowRoad::RoadLine(std::string_view line) {
    Queue({Request::Kind::Lines, 0, {}, {std::string(line)}});
}

void WindowRoad::Queue(Request request) {
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

void WindowRoad::ApplyRequests() {
    std::vector<Request> requests;
    {
        std::lock_guard lock(mutex_);
        requests.swap(requests_);
    }
    for (const Request& request : requests) {
        switch (request.kind) {
            case Request::Kind::Range:
                SendToControl(IDC_PROGRESS, PBM_SETPOS, 0, 0);
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
            case Request::Kind::Summary:
                // "---" parts it from the lines of earlier passes below.
                if (SendToControl(IDC_LOG_LIST, LB_GETCOUNT, 0, 0) > 0)
                    InsertLogLineAtTop("---");
                [[fallthrough]];
            case Request::Kind::Lines:
                for (auto line = request.lines.rbegin(); line != request.lines.rend(); ++line)
                    InsertLogLineAtTop(*line);
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

void WindowRoad::InsertLogLineAtTop(std::string_view line) {
    const std::wstring text = Widen(line);
    SendToControl(IDC_LOG_LIST, LB_INSERTSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
    WidenLogScrollRange(text);
}

// A list box scrolls sideways only as far as it is told: a line wider than the list (a
// long path) is made reachable with the horizontal scroll bar.
void WindowRoad::WidenLogScrollRange(const std::wstring& text) {
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
    const WPARAM needed = static_cast<WPARAM>(size.cx) + kMargin;
    if (measured && needed > static_cast<WPARAM>(SendMessageW(list, LB_GETHORIZONTALEXTENT, 0, 0)))
        SendMessageW(list, LB_SETHORIZONTALEXTENT, needed, 0);
}

void WindowRoad::PortLost() {
    Queue({Request::Kind::PortLost, 0, {}, {}});
}

void WindowRoad::ReaderAnswered(std::string_view port) {
    Queue({Request::Kind::ReaderAnswered, 0, std::string(port), {}});
}

}  // namespace korvalen

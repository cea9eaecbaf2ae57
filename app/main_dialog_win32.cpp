// The main window's life: its modal loop and messages, the state it shows, the status bar,
// the tray and the decode button; the port and the other commands are in files beside it.
#include "app/main_dialog_win32.h"

#include <commctrl.h>
#include <windowsx.h>

#include "app/about_dialog_win32.h"
#include "app/dump_file_dialog_win32.h"
#include "app/single_instance_win32.h"
#include "app/ui_state.h"
#include "platform/registry.h"
#include "platform/wide_string_win32.h"
#include "res/resource.h"
#include "serial/reader_protocol.h"
#include "settings/settings_store.h"
#include "ui/message_pump_win32.h"

namespace korvalen {
namespace {

// What Windows shows at shutdown while the program asks it to wait.
constexpr const wchar_t* kShutdownReason = L"Идет считывание или декодирование";

constexpr int kStatusBarMinHeight = 18;

constexpr std::array<int, 4> kInfoLineIds = {IDC_INFO_LINE1, IDC_INFO_LINE2, IDC_INFO_LINE3,
                                             IDC_INFO_LINE4};

// The status bar's part 0 (port state) ends at 7/12 of the width, part 1 at the end.
int PortPartWidth(int width) {
    return width * 7 / 12;
}

HICON LoadProgramIcon(int size_metric_x, int size_metric_y) {
    return static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_MAINFRAME),
                                         IMAGE_ICON, GetSystemMetrics(size_metric_x),
                                         GetSystemMetrics(size_metric_y), LR_SHARED));
}

}  // namespace

CKorvalenDlg::CKorvalenDlg(std::string program_folder)
    : program_folder_(std::move(program_folder)) {}

// The port first: its reading thread uses the job owner until it has ended.
CKorvalenDlg::~CKorvalenDlg() {
    port_.reset();
    jobs_.reset();
}

INT_PTR CKorvalenDlg::DoModal() {
    // The window runs its own modal loop rather than the system's dialog box loop, which
    // shows the dialog when it first becomes idle: with MinTray the program must start
    // hidden, with only its tray icon.
    taskbar_created_ = RegisterWindowMessageW(L"TaskbarCreated");
    HWND window =
        CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_KORVALEN_DIALOG),
                           nullptr, DialogProc, reinterpret_cast<LPARAM>(this));
    if (!window)
        return -1;
    if (!ended_ && !settings_.MinTray)
        ShowWindow(window, SW_SHOWNORMAL);
    MSG message;
    while (!ended_) {
        const BOOL got = GetMessageW(&message, nullptr, 0, 0);
        if (got == 0) {
            PostQuitMessage(static_cast<int>(message.wParam));
            break;
        }
        if (got == -1)
            break;
        if (!IsDialogMessageW(window, &message)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
    WaitForWorkers();
    tray_icon_.Remove();
    hot_keys_.Unregister();
    // The menu belongs to main_menu_, not to the window that is going.
    SetMenu(window, nullptr);
    DestroyWindow(window);
    window_ = nullptr;
    return result_;
}

// A pass that has just left the busy count may still be telling the window that it is
// done; and a quit from outside may come while a pass still writes its files. The window
// and the workers' host stay, and keep answering messages, until the reading thread and
// every job thread have ended, so no route is cut off mid-file. The reading thread goes
// first: it may start a job until it has decided to end.
void CKorvalenDlg::WaitForWorkers() {
    if (port_)
        port_->StopReading();
    PumpMessagesUntil(
        [this] { return (!port_ || !port_->reader_running()) && (!jobs_ || jobs_->idle()); });
}

void CKorvalenDlg::End(INT_PTR result) {
    result_ = result;
    ended_ = true;
    PostMessageW(window_, WM_NULL, 0, 0);  // wakes the loop
}

INT_PTR CALLBACK CKorvalenDlg::DialogProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_INITDIALOG) {
        auto* self = reinterpret_cast<CKorvalenDlg*>(lparam);
        SetWindowLongPtrW(window, DWLP_USER, lparam);
        self->window_ = window;
        return self->OnInitDialog();
    }
    auto* self = reinterpret_cast<CKorvalenDlg*>(GetWindowLongPtrW(window, DWLP_USER));
    return self ? self->HandleMessage(message, wparam, lparam) : FALSE;
}

INT_PTR CKorvalenDlg::Answer(LRESULT result) {
    SetWindowLongPtrW(window_, DWLP_MSGRESULT, result);
    return TRUE;
}

INT_PTR CKorvalenDlg::HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
        case WM_COMMAND:
            OnCommand(LOWORD(wparam));
            return TRUE;
        case WM_CLOSE:
            // The close box and Alt+F4: refused while a transfer is captured or decoded.
            if (!IsBusy())
                End(IDCANCEL);
            return TRUE;
        case WM_QUERYENDSESSION:
            return Answer(OnQueryEndSession());
        case WM_TIMER:
            if (wparam == kReopenTimer && reopen_.Due(GetTickCount()))
                TryReopenPort();
            return TRUE;
        case WM_DEVICECHANGE:
            OnDeviceChange(wparam);
            return Answer(TRUE);
        case WM_POWERBROADCAST:
            OnPowerBroadcast(wparam);
            return Answer(TRUE);
        case kWorkerRequestsMessage:
            road_.ApplyRequests();
            return Answer(0);
        case WM_SYSCOMMAND:
            if ((wparam & 0xFFF0) == IDM_ABOUTBOX) {
                ShowAboutBox(window_);
                return TRUE;
            }
            return FALSE;
        case WM_CONTEXTMENU:
            OnContextMenu(reinterpret_cast<HWND>(wparam),
                          {GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam)});
            return TRUE;
        case WM_SIZE:
            if (status_bar_)
                SendMessageW(status_bar_, WM_SIZE, 0, 0);
            if (wparam == SIZE_MINIMIZED && settings_.MinTray) {
                tray_icon_.Add(window_);
                ShowWindow(window_, SW_HIDE);
            }
            return FALSE;
        case WM_ACTIVATEAPP:
            if (wparam)
                hot_keys_.Register(window_);
            else
                hot_keys_.Unregister();
            return FALSE;
        case WM_HOTKEY:
            OnTestHotKey(wparam);
            return TRUE;
        case kInstanceQueryMessage:
            return Answer(kInstanceQueryAnswer);
        case kTrayNotifyMessage:
            OnTrayNotify(static_cast<UINT>(lparam));
            return Answer(0);
        case WM_PAINT:
            if (IsIconic(window_)) {
                OnPaint();
                return TRUE;
            }
            return FALSE;
        case WM_QUERYDRAGICON:
            // One of the few messages whose result a dialog procedure returns directly.
            return reinterpret_cast<INT_PTR>(icon_);
        default:
            if (taskbar_created_ != 0 && message == taskbar_created_) {
                tray_icon_.Restore();
                return TRUE;
            }
            return FALSE;
    }
}

bool CKorvalenDlg::OnInitDialog() {
    messages_.set_owner(window_);

    // The About item of the system menu, and the program icon.
    wchar_t* about_text = nullptr;
    const int about_length = LoadStringW(GetModuleHandleW(nullptr), IDS_ABOUTBOX,
                                         reinterpret_cast<LPWSTR>(&about_text), 0);
    if (HMENU system_menu = GetSystemMenu(window_, FALSE); system_menu && about_length > 0) {
        const std::wstring text(about_text, static_cast<std::size_t>(about_length));
        AppendMenuW(system_menu, MF_SEPARATOR, 0, nullptr);
        AppendMenuW(system_menu, MF_STRING, IDM_ABOUTBOX, text.c_str());
    }
    icon_ = LoadProgramIcon(SM_CXICON, SM_CYICON);
    SendMessageW(window_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon_));
    SendMessageW(window_, WM_SETICON, ICON_SMALL,
                 reinterpret_cast<LPARAM>(LoadProgramIcon(SM_CXSMICON, SM_CYSMICON)));

    LoadStartupSettings(settings_, program_folder_, messages_, SystemRegistry());

    // A second instance, unless several are allowed, ends before it touches the folders,
    // the journal or the port.
    if (AnotherInstanceRuns() && !settings_.MultiStart) {
        ShowMessageBox(window_, "Уже есть запущенная копия программы!", MB_OK | MB_ICONSTOP);
        if (HWND running = FindRunningInstance(window_)) {
            SetForegroundWindow(running);
            if (IsIconic(running))
                ShowWindow(running, SW_RESTORE);
        }
        End(IDOK);
        return TRUE;
    }

    CreateStatusBar();
    port_menu_.reset(LoadMenuW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_PORT_MENU)));
    CreateProgramFolders(program_folder_);
    SendDlgItemMessageW(window_, IDC_PROGRESS, PBM_SETSTEP, 1, 0);
    ShowUiState(UiState::Ready);

    // The road: the job owner first finishes what an earlier run left undelivered, then
    // the port opens (the window in state 1 or 2), so that no capture starts before the
    // recovery knows which dumps are still needed.
    CreatePathFolders(settings_.InboxDir);
    CreatePathFolders(settings_.InFile);
    jobs_ = std::make_unique<DecodeJobs>(program_folder_ + "\\Data\\", settings_, road_, road_);
    port_ = std::make_unique<PortConnection>(*jobs_);
    jobs_->Recover();
    LoadReaderAdapter();
    OpenPort();

    // With MinTray the program starts in the tray (DoModal leaves the window hidden).
    tray_menu_.reset(LoadMenuW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_TRAY_MENU)));
    if (settings_.MinTray) {
        tray_icon_.Add(window_);
        ShowWindow(window_, SW_HIDE);
    }
    hot_keys_.Register(window_);
    // The focus stays where the dialog manager puts it.
    return TRUE;
}

void CKorvalenDlg::CreateStatusBar() {
    status_bar_ = CreateWindowExW(0, STATUSCLASSNAMEW, L"", WS_CHILD | WS_VISIBLE, 0, 0, 0, 0,
                                  window_, reinterpret_cast<HMENU>(IDC_STATUS_BAR),
                                  GetModuleHandleW(nullptr), nullptr);
    if (!status_bar_) {
        ShowMessageBox(window_, "Status Bar not created!", MB_OK | MB_ICONSTOP);
        return;
    }
    SendMessageW(status_bar_, SB_SETMINHEIGHT, kStatusBarMinHeight, 0);
    SendMessageW(status_bar_, WM_SIZE, 0, 0);
    RECT client;
    GetClientRect(window_, &client);
    const int width = client.right - client.left;
    const int parts[2] = {PortPartWidth(width), width};
    SendMessageW(status_bar_, SB_SETPARTS, 2, reinterpret_cast<LPARAM>(parts));
    SetStatusText(0, "xx");
    SetStatusText(1, "xx");
}

void CKorvalenDlg::SetStatusText(int part, std::string_view text) {
    if (!status_bar_)
        return;
    const std::wstring wide = Widen(text);
    SendMessageW(status_bar_, SB_SETTEXTW, static_cast<WPARAM>(part),
                 reinterpret_cast<LPARAM>(wide.c_str()));
}

void CKorvalenDlg::ShowUiState(UiState state, bool after_work) {
    const bool busy = IsBusy();
    const std::uint32_t mask = jobs_ ? jobs_->work().progress.mask() : 0;
    const bool port_open = port_ && port_->status() == PortStatus::Open;
    const auto view = after_work ? UiStateAfterWork(port_open, busy, mask)
                                 : UiStateFor(static_cast<int>(state), busy, mask);
    if (view) {
        ApplyUiStateView(*view);
        RefreshControls();
    }
    HoldShutdownWhileBusy();
}

// While a transfer is read or a dump decoded, the machine neither sleeps nor shuts down
// without asking; both requests hold until the work ends. The execution state belongs to
// the thread that sets it: always the window's.
void CKorvalenDlg::HoldShutdownWhileBusy() {
    const bool busy = IsBusy();
    if (busy == holding_shutdown_)
        return;
    holding_shutdown_ = busy;
    if (busy) {
        ShutdownBlockReasonCreate(window_, kShutdownReason);
        SetThreadExecutionState(ES_CONTINUOUS | ES_SYSTEM_REQUIRED);
    } else {
        ShutdownBlockReasonDestroy(window_);
        SetThreadExecutionState(ES_CONTINUOUS);
    }
}

// The work ends at its next start if Windows ends the program anyway: the journal has
// every dump that is not delivered.
BOOL CKorvalenDlg::OnQueryEndSession() {
    HoldShutdownWhileBusy();
    return IsBusy() ? FALSE : TRUE;
}

void CKorvalenDlg::ApplyUiStateView(const UiStateView& view) {
    // A fresh main menu on every change, so no item keeps a state from before.
    UniqueMenu menu(LoadMenuW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_MAIN_MENU)));
    SetMenu(window_, menu.get());
    main_menu_ = std::move(menu);
    for (const auto& item : view.main_menu) {
        EnableMenuItem(main_menu_.get(), static_cast<UINT>(item.id),
                       MF_BYCOMMAND | (item.enabled ? MF_ENABLED : MF_GRAYED));
    }
    DrawMenuBar(window_);
    if (HMENU port = GetSubMenu(port_menu_.get(), 0)) {
        // The label first: changing it resets the item's enabling.
        ModifyMenuW(port, ID_PORT_OPEN_CLOSE, MF_BYCOMMAND | MF_STRING, ID_PORT_OPEN_CLOSE,
                    Widen(view.port_toggle_text).c_str());
        for (const auto& item : view.port_menu) {
            EnableMenuItem(port, static_cast<UINT>(item.id),
                           MF_BYCOMMAND | (item.enabled ? MF_ENABLED : MF_GRAYED));
        }
    }
    for (const auto& button : view.buttons)
        EnableWindow(GetDlgItem(window_, button.id), button.enabled);
    if (view.decode_button_text)
        SetDlgItemTextW(window_, IDC_DECODE_FILE, Widen(*view.decode_button_text).c_str());
    SetStatusText(1, view.status_text);
    for (std::size_t i = 0; i < info_lines_.size(); ++i)
        info_lines_[i] = view.info_lines[i];
}

void CKorvalenDlg::RefreshControls() {
    for (std::size_t i = 0; i < info_lines_.size(); ++i)
        SetDlgItemTextW(window_, kInfoLineIds[i], Widen(info_lines_[i]).c_str());
}

void CKorvalenDlg::OnCommand(int id) {
    switch (id) {
        case ID_FILE_EXIT:
            // Disabled while reading, so no busy test here.
            End(IDOK);
            break;
        case IDCANCEL:  // Esc
            if (!IsBusy())
                End(IDCANCEL);
            break;
        case IDOK:
            // Enter on a control that is not a button lands here. It must not end the
            // program (perhaps in the middle of a capture): there is nothing to confirm.
            break;
        case ID_TRAY_EXIT:
            if (!IsBusy()) {
                tray_icon_.Remove();
                End(IDCANCEL);
            }
            break;
        case ID_TRAY_SHOW:
            ShowFromTray();
            break;
        case IDC_CLEAR_LOG:
            SendDlgItemMessageW(window_, IDC_LOG_LIST, LB_RESETCONTENT, 0, 0);
            SendDlgItemMessageW(window_, IDC_LOG_LIST, LB_SETHORIZONTALEXTENT, 0, 0);
            break;
        case ID_HELP_ABOUT:
            ShowAboutBox(window_);
            break;
        case ID_HELP_CONTENTS:
            help_window_.Show(window_);
            break;
        case ID_PORT_OPEN_CLOSE:
            OnPortOpenClose();
            break;
        case ID_SETTINGS:
            OnSettings();
            break;
        case ID_COM_PORT:
        case ID_PORT_DIALOG:
            OnPortDialog();
            break;
        case ID_SAVE_DUMP_COPY:
            OnSaveDumpCopy();
            break;
        case ID_DECODE_PENDING:
            OnDecodePending();
            break;
        case ID_READ_JOURNAL:
            OnReadJournal();
            break;
        case IDC_DECODE_FILE:
            OnDecodeButton();
            break;
        case IDC_READ_ALL:
            OnReaderCommand(kQueryAllData);
            break;
        case IDC_READ_NEW:
            OnReaderCommand(kQueryNewData);
            break;
        default:
            break;
    }
}

void CKorvalenDlg::OnDecodeButton() {
    const WorkState& work = jobs_->work();
    if (work.capture_active) {
        // The reader stops; the capture ends once the line is silent and the part that
        // arrived is decoded, without acknowledgement.
        port_->StopTransfer(
            [](std::chrono::milliseconds pause) { Sleep(static_cast<DWORD>(pause.count())); });
        if (work.decoding_pass_count != 0)
            jobs_->AbortPasses();
        return;
    }
    if (work.decoding_pass_count != 0) {
        jobs_->AbortPasses();
        return;
    }
    // Once the dump file is gone, the dumps are in the archive.
    const std::string start_in = FileExists(settings_.InFile) ? "" : jobs_->archive_folder();
    if (const auto path = AskDumpFileToDecode(window_, start_in))
        jobs_->DecodeFile(*path);
}

void CKorvalenDlg::OnContextMenu(HWND clicked, POINT at) {
    if (!status_bar_ || clicked != status_bar_)
        return;
    RECT bar;
    GetWindowRect(status_bar_, &bar);
    if (at.x >= bar.left + PortPartWidth(bar.right - bar.left))
        return;
    if (HMENU port = GetSubMenu(port_menu_.get(), 0))
        TrackPopupMenu(port, TPM_LEFTALIGN | TPM_RIGHTBUTTON, at.x, at.y, 0, window_, nullptr);
}

void CKorvalenDlg::OnTrayNotify(UINT mouse_message) {
    switch (mouse_message) {
        case WM_LBUTTONDBLCLK:
            ShowFromTray();
            break;
        case WM_RBUTTONUP:
            if (HMENU tray = GetSubMenu(tray_menu_.get(), 0)) {
                POINT cursor;
                GetCursorPos(&cursor);
                // Without the foreground the menu would not close when the user clicks
                // elsewhere; the empty message after it lets the menu end cleanly.
                SetForegroundWindow(window_);
                TrackPopupMenu(tray, TPM_LEFTALIGN | TPM_RIGHTBUTTON, cursor.x, cursor.y, 0,
                               window_, nullptr);
                PostMessageW(window_, WM_NULL, 0, 0);
            }
            break;
        default:
            break;
    }
}

void CKorvalenDlg::ShowFromTray() {
    ShowWindow(window_, SW_SHOW);
    ShowWindow(window_, SW_RESTORE);
    tray_icon_.Remove();
}

void CKorvalenDlg::OnPaint() {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window_, &paint);
    SendMessageW(window_, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    RECT client;
    GetClientRect(window_, &client);
    const int x = (client.right - client.left - GetSystemMetrics(SM_CXICON) + 1) / 2;
    const int y = (client.bottom - client.top - GetSystemMetrics(SM_CYICON) + 1) / 2;
    DrawIcon(dc, x, y, icon_);
    EndPaint(window_, &paint);
}

}  // namespace korvalen

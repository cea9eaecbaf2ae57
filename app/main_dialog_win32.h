// The main window, which owns the settings, the port and what its workers share with it.
#pragma once

#include <windows.h>

#include <array>
#include <functional>
#include <mutex>
#include <string>

#include "app/busy_state.h"
#include "app/help_window_win32.h"
#include "app/hot_keys_win32.h"
#include "app/tray_icon_win32.h"
#include "app/ui_state.h"
#include "app/win32_handles_win32.h"
#include "app/window_worker_host_win32.h"
#include "serial/port_connection.h"
#include "settings/settings.h"
#include "ui/message_box_win32.h"

namespace korvalen {

// The main window: one dialog (resource 102) that lives for the whole run and owns the
// settings, the port and everything the reading thread and the decoding passes share
// with the user interface.
class CKorvalenDlg {
  public:
    explicit CKorvalenDlg(std::string program_folder);
    CKorvalenDlg(const CKorvalenDlg&) = delete;
    CKorvalenDlg& operator=(const CKorvalenDlg&) = delete;

    // Creates the window and runs its modal loop; returns IDOK or IDCANCEL.
    INT_PTR DoModal();

    // Switches the window to state 0 (reading), 1 (ready) or 2 (no connection). Callable
    // from any thread; the change itself is made on the window's thread. It changes the
    // four info texts but does not show them: callers call RefreshControls() after it.
    void SetUiState(UiState state);
    // What a worker calls when it ends instead of state 1: ready when the port is open,
    // no connection when it is not; nothing while another worker keeps the window busy.
    // Callable from any thread, like SetUiState.
    void SetUiStateAfterWork();
    // Shows the four info texts in the lines 1026 to 1029. Callable from any thread.
    void RefreshControls();

    // The dump path of the settings, and a decoding pass on a captured dump: for the
    // reading thread, which calls them from its own thread.
    std::string DumpFilePath();
    void DecodeDump(const std::string& path);

    const Settings& settings() const { return settings_; }
    HWND window() const { return window_; }

  private:
    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
    INT_PTR HandleMessage(UINT message, WPARAM wparam, LPARAM lparam);
    // Sets the result of a message that is not one of the few a dialog returns directly.
    INT_PTR Answer(LRESULT result);

    bool OnInitDialog();
    void OnCommand(int id);
    void OnContextMenu(HWND clicked, POINT at);
    void OnTrayNotify(UINT mouse_message);
    void OnPaint();
    // Runs `work` on the window's thread and waits for it: the window's settings, menus
    // and controls are only ever changed there. The window's thread never waits for a
    // worker, so this cannot deadlock.
    void RunOnUiThread(const std::function<void()>& work);
    void ApplyUiState(UiState state);
    void ApplyUiStateAfterWork();
    void ApplyUiStateView(const UiStateView& view);
    // Button 1000: aborts what runs, or asks for a dump file and decodes it.
    void OnDecodeButton();
    void CreateStatusBar();
    void SetStatusText(int part, std::string_view text);
    void ShowFromTray();
    // Until the reading thread and every decoding pass have ended, answering the
    // messages they send meanwhile.
    void WaitForWorkers();
    void End(INT_PTR result);

    // The serial port: opening shows the port's number and the window's state, and the
    // message when it failed.
    void OpenPort();
    void OnPortOpenClose();
    void OnPortDialog();
    void OnReaderCommand(std::string_view command);

    // The settings dialog, the copy of the dump, and the device test (Ctrl+Alt+F1).
    void OnSettings();
    void OnSaveDumpCopy();
    void OnTestHotKey(WPARAM id);

    // Window state, in the order the window sets it up.
    std::string program_folder_;
    Settings settings_;
    BusyState busy_;
    std::string dump_to_decode_;  // path of the dump the next decoding pass reads
    int dump_name_counter_ = 0;   // numbers the saved copies of one day

    HWND window_ = nullptr;
    HWND status_bar_ = nullptr;
    DWORD ui_thread_ = 0;
    HICON icon_ = nullptr;
    UniqueMenu main_menu_;  // attached to the window; replaced on every change of state
    UniqueMenu tray_menu_;
    UniqueMenu port_menu_;
    TrayIcon tray_icon_;
    HotKeys hot_keys_;
    HelpWindow help_window_;
    WindowMessageSink messages_;
    // Shared by the reading thread and every decoding pass; it lives as long as the
    // window.
    WindowWorkerHost worker_host_{*this};
    // The port and its reading thread. After the host and the busy state, which the
    // thread uses until the connection has stopped it.
    PortConnection port_{busy_.work, worker_host_};
    UINT taskbar_created_ = 0;

    // The four info texts, written by SetUiState and read by RefreshControls.
    std::mutex info_mutex_;
    std::array<std::string, 4> info_lines_;  // guarded by info_mutex_

    bool ended_ = false;
    INT_PTR result_ = IDCANCEL;
};

}  // namespace korvalen

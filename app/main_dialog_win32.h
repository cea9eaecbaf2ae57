// The main window, which owns the settings, the port and the job owner of the road.
#pragma once

#include <windows.h>

#include <array>
#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "app/help_window_win32.h"
#include "app/hot_keys_win32.h"
#include "app/text_window_win32.h"
#include "app/tray_icon_win32.h"
#include "app/ui_state.h"
#include "app/win32_handles_win32.h"
#include "app/window_road_win32.h"
#include "serial/link_rules.h"
#include "serial/port_connection.h"
#include "serial/port_list.h"
#include "serial/remembered_adapter.h"
#include "settings/settings.h"
#include "ui/message_box_win32.h"
#include "worker/decode_jobs.h"

namespace korvalen {

// The main window: one dialog (resource 102) that lives for the whole run and owns the
// settings, the port and the job owner, which holds everything the reading thread and the
// decoding passes share. It only shows what they do: their requests reach it as posted
// messages, so no worker ever waits for it.
class CKorvalenDlg {
  public:
    explicit CKorvalenDlg(std::string program_folder);
    ~CKorvalenDlg();
    CKorvalenDlg(const CKorvalenDlg&) = delete;
    CKorvalenDlg& operator=(const CKorvalenDlg&) = delete;

    // Creates the window and runs its modal loop; returns IDOK or IDCANCEL.
    INT_PTR DoModal();

    // On the window's thread: switches the window to state 0 (busy), 1 (ready) or 2 (no
    // connection) and shows the four info texts of the state. `after_work` is a worker's
    // end: ready when the port is open, no connection when it is not, nothing while
    // another worker keeps the window busy.
    void ShowUiState(UiState state, bool after_work = false);
    // The state's info texts, also those of a state shown before the controls existed.
    void RefreshControls();
    // On the window's thread: the reading thread found the port gone. It is closed, the
    // window says so, and it is tried again until it opens.
    void OnPortLost();
    // On the window's thread: the reader answered on `port`; the device behind it is
    // remembered as the reader's adapter.
    void OnReaderAnswered(std::string_view port);

    HWND window() const { return window_; }

  private:
    // The timer that tries a lost port again; it looks every quarter second whether a try
    // is due (ReopenSchedule keeps the two seconds).
    static constexpr UINT_PTR kReopenTimer = 1;
    static constexpr UINT kReopenTimerMs = 250;

    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
    INT_PTR HandleMessage(UINT message, WPARAM wparam, LPARAM lparam);
    // Sets the result of a message that is not one of the few a dialog returns directly.
    INT_PTR Answer(LRESULT result);

    bool OnInitDialog();
    void OnCommand(int id);
    void OnContextMenu(HWND clicked, POINT at);
    void OnTrayNotify(UINT mouse_message);
    void OnPaint();
    // Windows asks whether it may end the session: not while a transfer is read or a
    // dump decoded (a question open included); the reason it shows says why.
    BOOL OnQueryEndSession();
    void ApplyUiStateView(const UiStateView& view);
    // Asks Windows to wait at shutdown while the window is busy, and lets it go after.
    void HoldShutdownWhileBusy();
    // Button 1000: aborts what runs, or asks for a dump file and decodes it.
    void OnDecodeButton();
    void CreateStatusBar();
    void SetStatusText(int part, std::string_view text);
    void ShowFromTray();
    // Until the reading thread and every job thread have ended, answering the messages
    // they send meanwhile.
    void WaitForWorkers();
    void End(INT_PTR result);
    bool IsBusy() const { return jobs_ && jobs_->work().IsBusy(); }

    // The serial port: opening shows the port's number and the window's state, and the
    // message when it failed.
    void OpenPort();
    // A try of a port that was lost, without a message when it fails.
    void TryReopenPort();
    // Windows announced a new device, or woke from sleep.
    void OnDeviceChange(WPARAM event);
    void OnPowerBroadcast(WPARAM event);
    void OnPortOpenClose();
    void OnPortDialog();
    // Tries of a lost port, every two seconds and at a device's arrival, until one opens.
    void StartReopenTries();
    void StopReopenTries();

    // The reader's adapter (main_dialog_adapter_win32.cpp): remembered in the data folder
    // when the reader answers on a port or the operator chooses one, and followed to
    // another COM number when it comes back there.
    struct PortPick {
        std::optional<int> port;              // none: several ports hold such an adapter
        std::vector<SystemSerialPort> ports;  // what the system reported (when it was asked)
    };
    void LoadReaderAdapter();
    bool FollowsAdapter() const { return adapter_ && adapter_->identity.Followable(); }
    // The port to open for the reader: COM, or the port its adapter is on now. Tells the
    // operator once when several ports hold such an adapter.
    PortPick PickReaderPort();
    // The port `pick` chose is open: when it is not COM, COM becomes it as the COM-port
    // dialog would set it, and the log list says so.
    void TakePickedPort(const PortPick& pick);
    // Notes whether the port `pick` opened is known to be another device than the
    // reader's adapter, which is then looked for whenever a device arrives.
    void NoteOpenedDevice(const PortPick& pick);
    // A device arrived while the port open is another device: the adapter, found on
    // another port, is opened instead.
    void LeaveOtherDevice();
    // The device behind COMn as the system reports it now (`ports`, or asked anew)
    // becomes the remembered adapter.
    void RememberReaderAdapter(int com, const std::vector<SystemSerialPort>* ports = nullptr);
    void OnReaderCommand(std::string_view command);

    // The settings dialog, the copy of the dump, the pending dumps, the read journal and
    // the device test (Ctrl+Alt+F1).
    void OnSettings();
    void OnSaveDumpCopy();
    void OnDecodePending();
    void OnReadJournal();
    void OnTestHotKey(WPARAM id);

    std::string program_folder_;
    Settings settings_;
    int dump_name_counter_ = 0;  // numbers the saved copies of one day

    HWND window_ = nullptr;
    HWND status_bar_ = nullptr;
    HICON icon_ = nullptr;
    UniqueMenu main_menu_;  // attached to the window; replaced on every change of state
    UniqueMenu tray_menu_;
    UniqueMenu port_menu_;
    TrayIcon tray_icon_;
    HotKeys hot_keys_;
    HelpWindow help_window_;
    TextWindow journal_window_{"Журнал считываний"};
    WindowMessageSink messages_;
    // The road's view of the window; it lives as long as the window, and the job owner
    // and the port, made once the settings are read, are gone before it.
    WindowRoad road_{*this};
    std::unique_ptr<DecodeJobs> jobs_;
    std::unique_ptr<PortConnection> port_;
    std::atomic<bool> test_dialog_open_{false};
    // A port that went away (not one the operator closed) is tried again by a timer.
    ReopenSchedule reopen_;
    // The reader's adapter as remembered in the data folder; none: nothing remembered.
    std::optional<RememberedAdapter> adapter_;
    // The ports last named in the line about identical adapters, so it is said once.
    std::vector<int> identical_adapters_told_;
    // The port open is known to hold another device than the remembered adapter (which
    // was nowhere when it opened).
    bool other_device_open_ = false;
    UINT taskbar_created_ = 0;
    bool holding_shutdown_ = false;

    // The four info texts of the state shown last.
    std::array<std::string, 4> info_lines_;

    bool ended_ = false;
    INT_PTR result_ = IDCANCEL;
};

}  // namespace korvalen

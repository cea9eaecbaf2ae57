// The main window's port commands: opening and closing the serial port, the COM-port
// dialog, and the reader commands of the two read buttons.
#include <windows.h>

#include <dbt.h>

#include <string>

#include "app/com_port_dialog_win32.h"
#include "app/main_dialog_win32.h"
#include "app/ui_state.h"
#include "decode/pass_outcome.h"
#include "platform/string_printf.h"
#include "serial/port_open_error.h"
#include "settings/settings_store.h"

namespace korvalen {

// With the reader's adapter remembered, the port it is on now opens, and a port that does
// not open is tried again until the adapter comes; with nothing remembered, COM as it is.
void CKorvalenDlg::OpenPort() {
    const PortPick pick = PickReaderPort();
    const bool opened = pick.port && port_->Open(ComPortName(*pick.port));
    if (opened) {
        TakePickedPort(pick);
        NoteOpenedDevice(pick);
    }
    // The port's number shows whether or not it opened.
    SetStatusText(0, StringPrintf("Состояние COM-порта: (COM%i, 115200)", settings_.COM));
    if (!opened) {
        // The second line says why: a port held by another program, no such port. Several
        // identical adapters have said so in the log list instead.
        if (pick.port)
            ShowMessageBox(window_, PortOpenErrorMessage(port_->open_error()), MB_OK | MB_ICONSTOP);
        ShowUiState(UiState::NoConnection);
        if (FollowsAdapter())
            StartReopenTries();
        return;
    }
    ShowUiState(UiState::Ready);
}

void CKorvalenDlg::StartReopenTries() {
    reopen_.Lost(GetTickCount());
    SetTimer(window_, kReopenTimer, kReopenTimerMs, nullptr);
}

void CKorvalenDlg::StopReopenTries() {
    reopen_.Stop();
    KillTimer(window_, kReopenTimer);
}

void CKorvalenDlg::OnPortLost() {
    if (!port_ || port_->status() != PortStatus::Open)
        return;
    port_->Close();
    StartReopenTries();
    // The line before the state: whoever sees the new state finds the line that explains it.
    road_.InsertLogLineAtTop(
        StringPrintf("Связь со считывателем потеряна (COM%i): ", settings_.COM) +
        FormatLocalDateTime(SystemClock().LocalNow()));
    ShowUiState(UiState::NoConnection);
}

void CKorvalenDlg::TryReopenPort() {
    const PortPick pick = PickReaderPort();
    if (!pick.port || !port_->Open(ComPortName(*pick.port))) {
        reopen_.Failed(GetTickCount());
        return;
    }
    StopReopenTries();
    if (*pick.port == settings_.COM) {
        road_.InsertLogLineAtTop(
            StringPrintf("Связь со считывателем восстановлена (COM%i): ", settings_.COM) +
            FormatLocalDateTime(SystemClock().LocalNow()));
    }
    TakePickedPort(pick);
    NoteOpenedDevice(pick);
    SetStatusText(0, StringPrintf("Состояние COM-порта: (COM%i, 115200)", settings_.COM));
    ShowUiState(UiState::Ready);
}

void CKorvalenDlg::OnDeviceChange(WPARAM event) {
    if (event != DBT_DEVICEARRIVAL)
        return;
    LeaveOtherDevice();
    reopen_.DeviceArrived(GetTickCount());
    if (reopen_.Due(GetTickCount()))
        TryReopenPort();
}

// After sleep an adapter's port is often a new device behind the old name: a port that
// was open is opened again, and tried again until it opens.
void CKorvalenDlg::OnPowerBroadcast(WPARAM event) {
    if (event != PBT_APMRESUMEAUTOMATIC && event != PBT_APMRESUMESUSPEND)
        return;
    if (!port_ || IsBusy() || (port_->status() != PortStatus::Open && !reopen_.retrying()))
        return;
    port_->Close();
    if (port_->Open(ComPortName(settings_.COM))) {
        StopReopenTries();
        ShowUiState(UiState::Ready);
        return;
    }
    if (!reopen_.retrying()) {
        StartReopenTries();
        ShowUiState(UiState::NoConnection);
    }
}

// After a failed opening the port counts as open for this command: the first use closes
// it, the second opens it. The operator's close stays closed: no more tries.
void CKorvalenDlg::OnPortOpenClose() {
    StopReopenTries();
    if (port_->status() == PortStatus::Closed) {
        OpenPort();
        return;
    }
    port_->Close();
    ShowUiState(UiState::NoConnection);
}

// The operator's choice wins over the adapter remembered: the device behind the chosen
// port becomes the reader's adapter.
void CKorvalenDlg::OnPortDialog() {
    StopReopenTries();
    const std::optional<int> open_port =
        port_->status() == PortStatus::Open ? std::optional(settings_.COM) : std::nullopt;
    const ComPortAnswer answer = AskComPort(window_, settings_.COM, open_port,
                                            FollowsAdapter() ? &adapter_->identity : nullptr);
    if (!answer.accepted)
        return;
    port_->Close();
    if (!answer.port) {
        // The dialog started without a port (a COM setting it does not offer) and none
        // was chosen: the setting stays, the port stays closed.
        ShowMessageBox(window_, "Не выбран COM-порт. Порт закрыт.", MB_OK | MB_ICONEXCLAMATION);
        ShowUiState(UiState::NoConnection);
        return;
    }
    settings_.COM = *answer.port;
    jobs_->SetSettings(settings_);
    SaveSettings(settings_, program_folder_, messages_);
    RememberReaderAdapter(settings_.COM);
    OpenPort();
}

// The buttons are enabled only when the port is open and the window is ready.
void CKorvalenDlg::OnReaderCommand(std::string_view command) {
    port_->SendCommand(command);
}

}  // namespace korvalen

// The main window's port commands: opening and closing the serial port, the COM-port
// dialog, and the reader commands of the two read buttons.
#include <windows.h>

#include <dbt.h>

#include <string>

#include "app/main_dialog_win32.h"
#include "app/ui_state.h"
#include "decode/decoding_host.h"
#include "platform/string_printf.h"
#include "serial/com_port_dialog_win32.h"
#include "serial/port_open_error.h"
#include "settings/settings_store.h"

namespace korvalen {

void CKorvalenDlg::OpenPort() {
    const bool opened = port_->Open(ComPortName(settings_.COM));
    // The port's number shows whether or not it opened.
    SetStatusText(0, StringPrintf("Состояние COM-порта: (COM%i, 115200)", settings_.COM));
    if (!opened) {
        // The second line says why: a port held by another program, no such port.
        ShowMessageBox(window_, PortOpenErrorMessage(port_->open_error()), MB_OK | MB_ICONSTOP);
        ShowUiState(UiState::NoConnection);
        return;
    }
    ShowUiState(UiState::Ready);
}

void CKorvalenDlg::OnPortLost() {
    if (!port_ || port_->status() != PortStatus::Open)
        return;
    port_->Close();
    reopen_.Lost(GetTickCount());
    SetTimer(window_, kReopenTimer, kReopenTimerMs, nullptr);
    // The line before the state: whoever sees the new state finds the line that explains it.
    worker_host_.InsertLogLineAtTop(
        StringPrintf("Связь со считывателем потеряна (COM%i): ", settings_.COM) +
        FormatLocalDateTime(SystemClock().LocalNow()));
    ShowUiState(UiState::NoConnection);
}

void CKorvalenDlg::TryReopenPort() {
    if (!port_->Open(ComPortName(settings_.COM))) {
        reopen_.Failed(GetTickCount());
        return;
    }
    reopen_.Stop();
    KillTimer(window_, kReopenTimer);
    worker_host_.InsertLogLineAtTop(
        StringPrintf("Связь со считывателем восстановлена (COM%i): ", settings_.COM) +
        FormatLocalDateTime(SystemClock().LocalNow()));
    ShowUiState(UiState::Ready);
}

void CKorvalenDlg::OnDeviceChange(WPARAM event) {
    if (event != DBT_DEVICEARRIVAL)
        return;
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
        reopen_.Stop();
        KillTimer(window_, kReopenTimer);
        ShowUiState(UiState::Ready);
        return;
    }
    if (!reopen_.retrying()) {
        reopen_.Lost(GetTickCount());
        SetTimer(window_, kReopenTimer, kReopenTimerMs, nullptr);
        ShowUiState(UiState::NoConnection);
    }
}

// After a failed opening the port counts as open for this command: the first use closes
// it, the second opens it. The operator's close stays closed: no more tries.
void CKorvalenDlg::OnPortOpenClose() {
    reopen_.Stop();
    KillTimer(window_, kReopenTimer);
    if (port_->status() == PortStatus::Closed) {
        OpenPort();
        return;
    }
    port_->Close();
    ShowUiState(UiState::NoConnection);
}

void CKorvalenDlg::OnPortDialog() {
    reopen_.Stop();
    KillTimer(window_, kReopenTimer);
    const std::optional<int> open_port =
        port_->status() == PortStatus::Open ? std::optional(settings_.COM) : std::nullopt;
    const ComPortAnswer answer = AskComPort(window_, settings_.COM, open_port);
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
    OpenPort();
}

// The buttons are enabled only when the port is open and the window is ready.
void CKorvalenDlg::OnReaderCommand(std::string_view command) {
    port_->SendCommand(command);
}

}  // namespace korvalen

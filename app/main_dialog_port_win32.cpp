
#include <string>

#include "app/main_dialog_win32.h"
#include "app/ui_state.h"

namespace korvalen {

// Opening the serial port. Until the program speaks to the reader, every opening ends
// as a failed one does: the port's number in the status bar, the error message, and the
// window in state 2.
void CKorvalenDlg::OpenPort() {
    SetStatusText(0, "Состояние COM-порта: (COM" + std::to_string(settings_.COM) + ", 115200)");
    const bool opened = false;
    port_open_ = opened;
    if (!opened) {
        ShowMessageBox(window_, "Ошибка соединения с COM-портом!", MB_OK | MB_ICONSTOP);
        SetUiState(static_cast<int>(UiState::NoConnection));
        RefreshControls();
        return;
    }
    SetUiState(static_cast<int>(UiState::Ready));
    RefreshControls();
}

}  // namespace korvalen

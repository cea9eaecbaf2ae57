// The main window's remaining commands: the settings dialog, the copy of the dump, and
// the device test reached by Ctrl+Alt+F1.
#include "app/device_test_dialog_win32.h"
#include "app/dump_file_dialog_win32.h"
#include "app/main_dialog_win32.h"
#include "app/properties_dialog_win32.h"
#include "platform/file.h"
#include "platform/file_messages.h"
#include "serial/dump_copy.h"
#include "settings/settings_dialog_rules.h"
#include "settings/settings_store.h"
#include "ui/message_pump_win32.h"

namespace korvalen {

// Disabled while reading, like every item of the menu.
void CKorvalenDlg::OnSettings() {
    Settings edited = settings_;
    if (!EditSettings(window_, edited))
        return;
    TakeDialogSettings(settings_, edited);
    jobs_->SetSettings(settings_);
    SaveSettings(settings_, program_folder_, messages_);
}

// Every dump not yet delivered is decoded again: the InBox may be back, the disk may have
// room now. Disabled while the window is busy, like the rest of the menu.
void CKorvalenDlg::OnDecodePending() {
    if (jobs_->DecodePending() == 0)
        ShowMessageBox(window_, "Все считанные данные уже доставлены в InBox.",
                       MB_OK | MB_ICONINFORMATION);
}

// The read log of the data folder, oldest line first, in the program's text window.
void CKorvalenDlg::OnReadJournal() {
    const std::string text = jobs_->read_log().ReadAll();
    journal_window_.Show(window_, text.empty() ? "Журнал считываний пуст." : text);
}

void CKorvalenDlg::OnSaveDumpCopy() {
    if (!FileExists(settings_.InFile)) {
        ShowMessageBox(window_, kNoDumpToCopyMessage, MB_OK | MB_ICONSTOP);
        return;
    }
    const std::string name = DumpCopyName(SystemClock().LocalNow(), dump_name_counter_);
    ++dump_name_counter_;
    const auto path = AskDumpCopyPath(window_, name);
    if (!path)
        return;
    // A copy that did not come about is told, with the system's reason.
    if (const int error = CopyFileReplacing(settings_.InFile, *path); error != 0)
        ShowWriteFailure(messages_, CodePeriod::With, error, *path);
}

void CKorvalenDlg::OnTestHotKey(WPARAM id) {
    if (test_dialog_open_ || id != hot_keys_.test_dialog_key())
        return;
    if (port_->status() != PortStatus::Open) {
        ShowMessageBox(window_, "СОМ-порт не открыт!", MB_OK | MB_ICONSTOP);
        return;
    }
    if (jobs_->work().capture_active) {
        ShowMessageBox(window_, "Идет считываение информации из Флеш-памяти.", MB_OK | MB_ICONSTOP);
        return;
    }
    // The test has the port to itself: the reading thread ends at its next poll. A
    // transfer that began just now ends with it unacknowledged, so the reader keeps it.
    port_->StopReading();
    PumpMessagesUntil([this] { return !port_->reader_running(); });
    port_->port().Purge();
    test_dialog_open_ = true;
    const bool answered = RunDeviceTestDialog(window_, port_->port());
    test_dialog_open_ = false;
    if (answered)
        RememberReaderAdapter(settings_.COM);
    port_->StartReading();
}

}  // namespace korvalen

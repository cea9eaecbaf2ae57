// The main window and the reader's adapter: the device behind the reader's port remembered
// in the data folder, and followed to its new COM number when it is plugged in elsewhere.
#include <windows.h>

#include <algorithm>
#include <string>

#include "app/main_dialog_win32.h"
#include "decode/pass_outcome.h"
#include "platform/string_printf.h"
#include "serial/adapter_search.h"
#include "settings/settings_store.h"

namespace korvalen {
namespace {

std::string Now() {
    return FormatLocalDateTime(SystemClock().LocalNow());
}

std::string PortNames(const std::vector<int>& numbers) {
    std::string names;
    for (const int number : numbers)
        names += (names.empty() ? "COM" : ", COM") + std::to_string(number);
    return names;
}

PortIdentity IdentityOfPort(const std::vector<SystemSerialPort>& ports, int com) {
    const auto found = std::find_if(ports.begin(), ports.end(), [com](const SystemSerialPort& p) {
        return ComPortNumber(p.device) == com;
    });
    return found == ports.end() ? PortIdentity() : found->identity;
}

}  // namespace

// A record of another port than COM was made before COM was changed by hand: it says
// nothing of the adapter on COM. A file that cannot be read is said so, and taken as
// nothing remembered until the reader answers again.
void CKorvalenDlg::LoadReaderAdapter() {
    const std::string path = program_folder_ + "\\Data\\" + std::string(kRememberedAdapterFile);
    const RememberedAdapterRead read = ReadRememberedAdapter(path);
    if (read.failed) {
        road_.InsertLogLineAtTop(
            read.error_code != 0
                ? StringPrintf("Файл адаптера считывателя не прочитан (Код ошибки: %i): ",
                               read.error_code) +
                      path
                : "Файл адаптера считывателя поврежден: " + path);
    }
    if (read.adapter && read.adapter->port == settings_.COM)
        adapter_ = read.adapter;
}

CKorvalenDlg::PortPick CKorvalenDlg::PickReaderPort() {
    if (!FollowsAdapter())
        return {.port = settings_.COM, .ports = {}};
    PortPick pick{.port = std::nullopt, .ports = ListSerialPorts()};
    const AdapterSearch search =
        SearchReaderAdapter(&adapter_->identity, settings_.COM, pick.ports);
    pick.port = search.port;
    if (!search.port && search.matches != identical_adapters_told_) {
        road_.InsertLogLineAtTop("Считыватель не найден однозначно: одинаковые адаптеры на " +
                                 PortNames(search.matches) +
                                 "; выберите порт (Установки - COM-порт...): " + Now());
    }
    identical_adapters_told_ = search.port ? std::vector<int>() : search.matches;
    return pick;
}

void CKorvalenDlg::TakePickedPort(const PortPick& pick) {
    if (!pick.port || *pick.port == settings_.COM)
        return;
    const int old_com = settings_.COM;
    settings_.COM = *pick.port;
    jobs_->SetSettings(settings_);
    SaveSettings(settings_, program_folder_, messages_);
    RememberReaderAdapter(settings_.COM, &pick.ports);
    road_.InsertLogLineAtTop(
        StringPrintf("Считыватель найден на COM%i (был COM%i): ", settings_.COM, old_com) + Now());
}

void CKorvalenDlg::NoteOpenedDevice(const PortPick& pick) {
    const PortIdentity open = IdentityOfPort(pick.ports, settings_.COM);
    other_device_open_ =
        FollowsAdapter() && open.Followable() && !SameAdapter(adapter_->identity, open);
}

void CKorvalenDlg::LeaveOtherDevice() {
    if (!other_device_open_ || IsBusy() || !port_ || port_->status() != PortStatus::Open)
        return;
    const PortPick pick = PickReaderPort();
    if (!pick.port || *pick.port == settings_.COM)
        return;
    port_->Close();
    other_device_open_ = false;
    if (!port_->Open(ComPortName(*pick.port))) {
        StartReopenTries();
        ShowUiState(UiState::NoConnection);
        return;
    }
    TakePickedPort(pick);
    SetStatusText(0, StringPrintf("Состояние COM-порта: (COM%i, 115200)", settings_.COM));
    ShowUiState(UiState::Ready);
}

void CKorvalenDlg::RememberReaderAdapter(int com, const std::vector<SystemSerialPort>* ports) {
    const RememberedAdapter now{
        .port = com,
        .identity = IdentityOfPort(ports ? *ports : ListSerialPorts(), com),
    };
    if (adapter_ == now)
        return;
    adapter_ = now;
    identical_adapters_told_.clear();
    other_device_open_ = false;
    const std::string path = program_folder_ + "\\Data\\" + std::string(kRememberedAdapterFile);
    if (const int code = WriteRememberedAdapter(path, now); code != 0) {
        road_.InsertLogLineAtTop(
            StringPrintf("Файл адаптера считывателя не записан (Код ошибки: %i): ", code) + path);
    }
}

void CKorvalenDlg::OnReaderAnswered(std::string_view port) {
    if (port_ && port_->status() == PortStatus::Open && ComPortNumber(port) == settings_.COM)
        RememberReaderAdapter(settings_.COM);
}

}  // namespace korvalen

// The COM-port dialog: its lists filled, the selected port's device and state shown, the
// reader's fixed line shown, the chosen port read.
#include "app/com_port_dialog_win32.h"

#include <algorithm>
#include <array>
#include <string>
#include <vector>

#include "platform/wide_string_win32.h"
#include "res/resource.h"
#include "serial/adapter_search.h"
#include "serial/port_list.h"
#include "serial/port_open_error.h"
#include "serial/serial_port.h"

namespace korvalen {
namespace {

struct ListEntries {
    int id;
    std::array<const wchar_t*, 6> texts;  // ends early at nullptr
};

// The lists that show the line the reader always uses, first entry selected.
constexpr std::array<ListEntries, 4> kLineLists = {{
    {IDC_COM_SPEED, {L"115200", L"19200", L"9600", L"2400", L"1200", L"300"}},
    {IDC_COM_PARITY, {L"None", L"Odd", L"Even", L"Mark", L"Space", nullptr}},
    {IDC_COM_DATA_BITS, {L"8", L"7", L"6", nullptr, nullptr, nullptr}},
    {IDC_COM_STOP_BITS, {L"1", L"1.5", L"2", nullptr, nullptr, nullptr}},
}};

struct DialogData {
    int com;
    std::optional<int> open_port;
    std::vector<ComPortChoice> choices;  // the port list's entries, in its order
    // The port of the reader's adapter, or every port of several identical ones.
    std::vector<int> reader_ports;
    bool reader_port_known = false;  // one port, not a choice between several
    ComPortAnswer answer;
};

// A port list's entry: the port, and a mark where the reader's adapter is.
std::wstring EntryText(const DialogData& data, int number) {
    std::string text = ComPortName(number);
    if (std::find(data.reader_ports.begin(), data.reader_ports.end(), number) !=
        data.reader_ports.end()) {
        text += data.reader_port_known ? " (считыватель)" : " (считыватель?)";
    }
    return Widen(text);
}

void SetText(HWND dialog, int id, const std::string& text) {
    SetDlgItemTextW(dialog, id, Widen(text).c_str());
}

void FillPortList(HWND dialog, const DialogData& data) {
    HWND box = GetDlgItem(dialog, IDC_COM_PORT_LIST);
    WPARAM selected = static_cast<WPARAM>(-1);
    for (std::size_t i = 0; i < data.choices.size(); ++i) {
        const std::wstring entry = EntryText(data, data.choices[i].number);
        SendMessageW(box, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(entry.c_str()));
        if (data.choices[i].number == data.com)
            selected = i;
    }
    SendMessageW(box, CB_SETCURSEL, selected, 0);
}

// What is behind the selected port and whether it is free: an opening that is closed at
// once tells, except for the port the program holds itself.
void ShowSelectedPort(HWND dialog, const DialogData& data) {
    const LRESULT index = SendDlgItemMessageW(dialog, IDC_COM_PORT_LIST, CB_GETCURSEL, 0, 0);
    if (index < 0 || static_cast<std::size_t>(index) >= data.choices.size()) {
        SetText(dialog, IDC_COM_PORT_DEVICE, "");
        SetText(dialog, IDC_COM_PORT_STATE, "");
        return;
    }
    const ComPortChoice& choice = data.choices[static_cast<std::size_t>(index)];
    SetText(dialog, IDC_COM_PORT_DEVICE,
            !choice.in_system     ? "Устройство: нет в системе"
            : choice.name.empty() ? "Устройство: без названия"
                                  : "Устройство: " + choice.name);
    std::string state = "Порт открыт этой программой";
    if (choice.number != data.open_port) {
        int error_code = 0;
        const bool opened = OpenSerialPort(ComPortName(choice.number), error_code) != nullptr;
        state = opened ? "Порт свободен" : PortOpenErrorReason(error_code);
    }
    SetText(dialog, IDC_COM_PORT_STATE, state);
}

void FillLineLists(HWND dialog) {
    for (const ListEntries& list : kLineLists) {
        HWND box = GetDlgItem(dialog, list.id);
        for (const wchar_t* text : list.texts) {
            if (!text)
                continue;
            // A writable copy: the parity list's upper-case style changes the text it is
            // given in place (under Wine at least), which a literal would not survive.
            std::wstring entry(text);
            SendMessageW(box, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(entry.data()));
        }
        SendMessageW(box, CB_SETCURSEL, 0, 0);
        EnableWindow(box, FALSE);
    }
}

// The number of the port of the chosen entry, whatever its place in the list.
std::optional<int> ChosenPort(HWND dialog, const DialogData& data) {
    const LRESULT index = SendDlgItemMessageW(dialog, IDC_COM_PORT_LIST, CB_GETCURSEL, 0, 0);
    if (index < 0 || static_cast<std::size_t>(index) >= data.choices.size())
        return std::nullopt;
    return data.choices[static_cast<std::size_t>(index)].number;
}

INT_PTR CALLBACK ComPortProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
        case WM_INITDIALOG: {
            SetWindowLongPtrW(dialog, DWLP_USER, lparam);
            const auto* data = reinterpret_cast<const DialogData*>(lparam);
            FillPortList(dialog, *data);
            FillLineLists(dialog);
            ShowSelectedPort(dialog, *data);
            return TRUE;
        }
        case WM_COMMAND: {
            auto* data = reinterpret_cast<DialogData*>(GetWindowLongPtrW(dialog, DWLP_USER));
            if (LOWORD(wparam) == IDC_COM_PORT_LIST && HIWORD(wparam) == CBN_SELCHANGE) {
                ShowSelectedPort(dialog, *data);
                return TRUE;
            }
            if (LOWORD(wparam) == IDOK) {
                data->answer = {.accepted = true, .port = ChosenPort(dialog, *data)};
                EndDialog(dialog, IDOK);
                return TRUE;
            }
            if (LOWORD(wparam) == IDCANCEL) {
                EndDialog(dialog, IDCANCEL);
                return TRUE;
            }
            break;
        }
        default:
            break;
    }
    return FALSE;
}

}  // namespace

ComPortAnswer AskComPort(HWND owner, int com, std::optional<int> open_port,
                         const PortIdentity* reader_adapter) {
    const std::vector<SystemSerialPort> ports = ListSerialPorts();
    DialogData data{.com = com,
                    .open_port = open_port,
                    .choices = ComPortChoices(ports),
                    .reader_ports = {},
                    .answer = {}};
    if (reader_adapter) {
        const AdapterSearch search = SearchReaderAdapter(reader_adapter, com, ports);
        data.reader_port_known = search.port.has_value();
        data.reader_ports = search.matches;
        if (search.port)
            std::erase_if(data.reader_ports, [&](int port) { return port != *search.port; });
    }
    DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_COM_PORT), owner, ComPortProc,
                    reinterpret_cast<LPARAM>(&data));
    return data.answer;
}

}  // namespace korvalen

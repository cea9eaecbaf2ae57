// The COM-port dialog: its lists filled, the reader's fixed line shown, the chosen port read.
#include "serial/com_port_dialog_win32.h"

#include <array>
#include <string>

#include "platform/wide_string_win32.h"
#include "res/resource.h"
#include "serial/serial_port.h"

namespace korvalen {
namespace {

struct ListEntries {
    int id;
    std::array<const wchar_t*, 6> texts;  // ends early at nullptr
};

// The port list first; the four others show the line the reader always uses, first
// entry selected.
constexpr std::array<ListEntries, 5> kLists = {{
    {IDC_COM_PORT_LIST, {L"COM1", L"COM2", L"COM3", L"COM4", L"COM5", L"COM6"}},
    {IDC_COM_SPEED, {L"115200", L"19200", L"9600", L"2400", L"1200", L"300"}},
    {IDC_COM_PARITY, {L"None", L"Odd", L"Even", L"Mark", L"Space", nullptr}},
    {IDC_COM_DATA_BITS, {L"8", L"7", L"6", nullptr, nullptr, nullptr}},
    {IDC_COM_STOP_BITS, {L"1", L"1.5", L"2", nullptr, nullptr, nullptr}},
}};

struct DialogData {
    int com;
    ComPortAnswer answer;
};

void FillLists(HWND dialog, int com) {
    for (const ListEntries& list : kLists) {
        HWND box = GetDlgItem(dialog, list.id);
        for (const wchar_t* text : list.texts) {
            if (!text)
                continue;
            // A writable copy: the parity list's upper-case style changes the text it is
            // given in place (under Wine at least), which a literal would not survive.
            std::wstring entry(text);
            SendMessageW(box, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(entry.data()));
        }
        if (list.id == IDC_COM_PORT_LIST) {
            const std::wstring port = Widen(ComPortName(com));
            const LRESULT found = SendMessageW(box, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                               reinterpret_cast<LPARAM>(port.c_str()));
            SendMessageW(box, CB_SETCURSEL, found == CB_ERR ? static_cast<WPARAM>(-1) : found, 0);
        } else {
            SendMessageW(box, CB_SETCURSEL, 0, 0);
            EnableWindow(box, FALSE);
        }
    }
}

// The port's number is the digit after "COM" of the chosen entry.
std::optional<int> ChosenPort(HWND dialog) {
    HWND box = GetDlgItem(dialog, IDC_COM_PORT_LIST);
    const LRESULT index = SendMessageW(box, CB_GETCURSEL, 0, 0);
    if (index == CB_ERR)
        return std::nullopt;
    const LRESULT length = SendMessageW(box, CB_GETLBTEXTLEN, static_cast<WPARAM>(index), 0);
    if (length < 4)
        return std::nullopt;
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    SendMessageW(box, CB_GETLBTEXT, static_cast<WPARAM>(index),
                 reinterpret_cast<LPARAM>(text.data()));
    if (text[3] < L'0' || text[3] > L'9')
        return std::nullopt;
    return static_cast<int>(text[3] - L'0');
}

INT_PTR CALLBACK ComPortProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
        case WM_INITDIALOG: {
            SetWindowLongPtrW(dialog, DWLP_USER, lparam);
            FillLists(dialog, reinterpret_cast<const DialogData*>(lparam)->com);
            return TRUE;
        }
        case WM_COMMAND: {
            auto* data = reinterpret_cast<DialogData*>(GetWindowLongPtrW(dialog, DWLP_USER));
            if (LOWORD(wparam) == IDOK) {
                data->answer = {.accepted = true, .port = ChosenPort(dialog)};
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

ComPortAnswer AskComPort(HWND owner, int com) {
    DialogData data{.com = com, .answer = {}};
    DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_COM_PORT), owner, ComPortProc,
                    reinterpret_cast<LPARAM>(&data));
    return data.answer;
}

}  // namespace korvalen

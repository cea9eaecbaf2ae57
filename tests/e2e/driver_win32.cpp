// korvalen-driver: drives the real Korvalen.exe from outside, as a person would, for the
// end-to-end tests. It runs in the same Wine prefix and display as the program, finds its
// windows by title, class and control id, reads texts, clicks, answers message boxes and
// sends input. One command per run; results go to standard output as UTF-8 lines, and the
// exit code is 0 on success, 1 when the expected thing did not happen, 2 on bad usage.
//
//   korvalen-driver [--window HWND] COMMAND [ARGS]
//
// Waiting commands poll every 50 ms up to a time-out in milliseconds.
#include <windows.h>

#include <commctrl.h>
#include <fcntl.h>
#include <io.h>
#include <setupapi.h>
#include <shellapi.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <type_traits>
#include <vector>

#include "app/win32_handles_win32.h"
#include "platform/wide_string_win32.h"

namespace {

using korvalen::Narrow;

constexpr int kLogList = 1023;
constexpr int kStatusBar = 32499;
constexpr int kMessageText = 0xFFFF;  // the static that holds a message box's text
constexpr UINT kTrayNotify = WM_USER + 2;

HWND g_window = nullptr;  // set by --window

void Print(const std::wstring& text) {
    const std::string utf8 = Narrow(text) + "\n";
    std::fwrite(utf8.data(), 1, utf8.size(), stdout);
    std::fflush(stdout);
}

int Fail(const std::wstring& why) {
    const std::string utf8 = "driver: " + Narrow(why) + "\n";
    std::fwrite(utf8.data(), 1, utf8.size(), stderr);
    return 1;
}

std::wstring ClassOf(HWND window) {
    std::wstring name(256, L'\0');  // the longest class name
    name.resize(static_cast<std::size_t>(
        GetClassNameW(window, name.data(), static_cast<int>(name.size()))));
    return name;
}

// WM_GETTEXT is copied across processes by the system.
std::wstring TextOf(HWND window) {
    const int length = static_cast<int>(SendMessageW(window, WM_GETTEXTLENGTH, 0, 0));
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    const int got = static_cast<int>(
        SendMessageW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data())));
    text.resize(static_cast<std::size_t>(got));
    return text;
}

std::vector<HWND> TopLevelWindows() {
    std::vector<HWND> windows;
    EnumWindows(
        [](HWND window, LPARAM list) {
            reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&windows));
    return windows;
}

// The main window: a dialog titled "Korvalen" with the log list. Message boxes share
// its class and title, so the control tells them apart.
std::vector<HWND> MainWindows() {
    std::vector<HWND> found;
    for (HWND window : TopLevelWindows()) {
        if (ClassOf(window) == L"#32770" && TextOf(window) == L"Korvalen" &&
            GetDlgItem(window, kLogList)) {
            found.push_back(window);
        }
    }
    return found;
}

// Polls `probe` until it returns true or `timeout_ms` passes.
bool WaitFor(int timeout_ms, const std::function<bool()>& probe) {
    const ULONGLONG end = GetTickCount64() + static_cast<ULONGLONG>(timeout_ms);
    for (;;) {
        if (probe())
            return true;
        if (GetTickCount64() >= end)
            return false;
        Sleep(50);
    }
}

std::optional<HWND> MainWindow(int timeout_ms = 5000) {
    if (g_window)
        return IsWindow(g_window) ? std::optional(g_window) : std::nullopt;
    HWND found = nullptr;
    WaitFor(timeout_ms, [&] {
        const auto windows = MainWindows();
        if (windows.size() != 1)
            return false;
        found = windows.front();
        return true;
    });
    return found ? std::optional(found) : std::nullopt;
}

// A message box (dialog class with the text static) whose text contains `needle`.
HWND FindMessageBox(const std::wstring& needle) {
    for (HWND window : TopLevelWindows()) {
        if (ClassOf(window) != L"#32770" || !IsWindowVisible(window))
            continue;
        HWND text = GetDlgItem(window, kMessageText);
        if (text && TextOf(text).find(needle) != std::wstring::npos)
            return window;
    }
    return nullptr;
}

// A message box that `owner` shows.
bool AsksSomething(HWND owner) {
    for (HWND window : TopLevelWindows()) {
        if (ClassOf(window) == L"#32770" && IsWindowVisible(window) &&
            GetWindow(window, GW_OWNER) == owner && GetDlgItem(window, kMessageText)) {
            return true;
        }
    }
    return false;
}

HWND FindDialog(const std::wstring& title) {
    for (HWND window : TopLevelWindows()) {
        // The device test's list has the log list's id: the title tells the main window.
        const bool main_window = TextOf(window) == L"Korvalen" && GetDlgItem(window, kLogList);
        if (ClassOf(window) == L"#32770" && IsWindowVisible(window) && TextOf(window) == title &&
            !main_window && !GetDlgItem(window, kMessageText)) {
            return window;
        }
    }
    return nullptr;
}

// The common file dialog the program opened: a dialog owned by the main window with a
// file name field. Under Wine its controls have the ids of the old Windows template: the
// name field is the combo box cmb13 (0x47C) or the edit edt1 (0x480).
constexpr int kFileNameCombo = 0x47C;
constexpr int kFileNameEdit = 0x480;

HWND FileNameField(HWND dialog) {
    for (int id : {kFileNameCombo, kFileNameEdit}) {
        if (HWND field = GetDlgItem(dialog, id))
            return field;
    }
    return nullptr;
}

HWND FindFileDialog(HWND owner) {
    for (HWND window : TopLevelWindows()) {
        if (ClassOf(window) == L"#32770" && IsWindowVisible(window) &&
            GetWindow(window, GW_OWNER) == owner && FileNameField(window)) {
            return window;
        }
    }
    return nullptr;
}

HWND FindPopupMenu() {
    for (HWND window : TopLevelWindows()) {
        if (ClassOf(window) == L"#32768" && IsWindowVisible(window))
            return window;
    }
    return nullptr;
}

// Memory in the program's process, for the requests of common controls whose
// parameters the system does not copy across processes.
class RemoteMemory {
  public:
    RemoteMemory(HWND owner, SIZE_T bytes) : bytes_(bytes) {
        DWORD process_id = 0;
        GetWindowThreadProcessId(owner, &process_id);
        process_.reset(OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE,
                                   process_id));
        if (process_)
            memory_ = VirtualAllocEx(process_.get(), nullptr, bytes, MEM_COMMIT, PAGE_READWRITE);
    }
    ~RemoteMemory() {
        if (memory_)
            VirtualFreeEx(process_.get(), memory_, 0, MEM_RELEASE);
    }
    RemoteMemory(const RemoteMemory&) = delete;
    RemoteMemory& operator=(const RemoteMemory&) = delete;

    bool valid() const { return memory_ != nullptr; }
    char* address() const { return static_cast<char*>(memory_); }
    bool Write(SIZE_T offset, const void* data, SIZE_T size) {
        SIZE_T written = 0;
        return offset + size <= bytes_ &&
               WriteProcessMemory(process_.get(), address() + offset, data, size, &written);
    }
    bool Read(SIZE_T offset, void* data, SIZE_T size) {
        SIZE_T read = 0;
        return offset + size <= bytes_ &&
               ReadProcessMemory(process_.get(), address() + offset, data, size, &read);
    }

  private:
    korvalen::UniqueKernelHandle process_;
    void* memory_ = nullptr;
    SIZE_T bytes_;
};

// Status bar texts live in the program's memory: the request needs a buffer there.
std::optional<std::wstring> StatusText(HWND bar, int part) {
    const LRESULT length_word = SendMessageW(bar, SB_GETTEXTLENGTHW, static_cast<WPARAM>(part), 0);
    const std::size_t length = LOWORD(length_word);
    const SIZE_T bytes = (length + 1) * sizeof(wchar_t);
    RemoteMemory remote(bar, bytes);
    if (!remote.valid())
        return std::nullopt;
    SendMessageW(bar, SB_GETTEXTW, static_cast<WPARAM>(part),
                 reinterpret_cast<LPARAM>(remote.address()));
    std::wstring text(length + 1, L'\0');
    if (!remote.Read(0, text.data(), bytes))
        return std::nullopt;
    text.resize(length);
    return text;
}

// A tree view item's text, read through the program's memory.
std::wstring TreeItemText(HWND tree, HTREEITEM item) {
    constexpr SIZE_T kTextChars = 1024;
    RemoteMemory remote(tree, sizeof(TVITEMW) + kTextChars * sizeof(wchar_t));
    if (!remote.valid())
        return L"";
    TVITEMW request{};
    request.mask = TVIF_TEXT | TVIF_HANDLE;
    request.hItem = item;
    request.pszText = reinterpret_cast<wchar_t*>(remote.address() + sizeof(TVITEMW));
    request.cchTextMax = kTextChars;
    std::wstring text(kTextChars, L'\0');
    if (!remote.Write(0, &request, sizeof request) ||
        !SendMessageW(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(remote.address())) ||
        !remote.Read(sizeof(TVITEMW), text.data(), kTextChars * sizeof(wchar_t))) {
        return L"";
    }
    text.resize(wcsnlen(text.c_str(), kTextChars));
    return text;
}

// Moves the selection of a folder tree as a person clicks through it: from the selected
// item, ".." to its parent, a name to the child of that name (expanded first).
// "../Out/2026" goes up once and down twice. False when a step finds nothing.
bool SelectTreePath(HWND tree, const std::wstring& path) {
    auto item = reinterpret_cast<HTREEITEM>(SendMessageW(tree, TVM_GETNEXTITEM, TVGN_CARET, 0));
    std::wistringstream steps(path);
    for (std::wstring step; item && std::getline(steps, step, L'/');) {
        if (step == L"..") {
            item = reinterpret_cast<HTREEITEM>(
                SendMessageW(tree, TVM_GETNEXTITEM, TVGN_PARENT, reinterpret_cast<LPARAM>(item)));
            continue;
        }
        SendMessageW(tree, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(item));
        auto child = reinterpret_cast<HTREEITEM>(
            SendMessageW(tree, TVM_GETNEXTITEM, TVGN_CHILD, reinterpret_cast<LPARAM>(item)));
        while (child && _wcsicmp(TreeItemText(tree, child).c_str(), step.c_str()) != 0) {
            child = reinterpret_cast<HTREEITEM>(
                SendMessageW(tree, TVM_GETNEXTITEM, TVGN_NEXT, reinterpret_cast<LPARAM>(child)));
        }
        item = child;
    }
    if (!item)
        return false;
    return SendMessageW(tree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(item)) != 0;
}

// The shell's folder browser: a dialog with a folder tree and a static holding `title`.
HWND FindFolderBrowser(const std::wstring& title, HWND& tree) {
    for (HWND window : TopLevelWindows()) {
        if (ClassOf(window) != L"#32770" || !IsWindowVisible(window))
            continue;
        tree = FindWindowExW(window, nullptr, L"SysTreeView32", nullptr);
        bool titled = false;
        for (HWND child = FindWindowExW(window, nullptr, L"Static", nullptr); child;
             child = FindWindowExW(window, child, L"Static", nullptr)) {
            titled = titled || TextOf(child) == title;
        }
        if (tree && titled)
            return window;
    }
    return nullptr;
}

// A list box's entries. A worker may insert lines while they are read, so an entry can
// be longer than its length was a moment before: the buffer holds the longest line
// there can be (a path of 32,767 characters and some words around it).
void PrintListBox(HWND list) {
    constexpr std::size_t kLongestLine = 40000;
    std::wstring entry(kLongestLine, L'\0');
    const int count = static_cast<int>(SendMessageW(list, LB_GETCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        const LRESULT length = SendMessageW(list, LB_GETTEXTLEN, i, 0);
        if (length == LB_ERR || static_cast<std::size_t>(length) >= kLongestLine)
            continue;
        const LRESULT got =
            SendMessageW(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(entry.data()));
        if (got != LB_ERR)
            Print(entry.substr(0, static_cast<std::size_t>(got)));
    }
}

int ToInt(const wchar_t* text) {
    return static_cast<int>(std::wcstol(text, nullptr, 0));
}

void PostKey(HWND window, WORD key) {
    PostMessageW(window, WM_KEYDOWN, key, 1);
    PostMessageW(window, WM_KEYUP, key, 0xC0000001);
}

void SendKeys(const std::vector<WORD>& down_then_up) {
    std::vector<INPUT> inputs;
    for (WORD key : down_then_up) {
        INPUT input{};
        input.type = INPUT_KEYBOARD;
        input.ki.wVk = key;
        inputs.push_back(input);
    }
    for (auto it = down_then_up.rbegin(); it != down_then_up.rend(); ++it) {
        INPUT input{};
        input.type = INPUT_KEYBOARD;
        input.ki.wVk = *it;
        input.ki.dwFlags = KEYEVENTF_KEYUP;
        inputs.push_back(input);
    }
    SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
}

// A serial device of the setup class "Ports" as a driver's installation leaves it: the
// name the Device Manager shows and the port in the device's key. Wine's own ports have
// neither, so the tests add one for the port list to find.
bool AddPortDevice(const std::wstring& port, const std::wstring& name) {
    constexpr GUID kPortsClass = {
        0x4d36e978, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}};
    struct ListCloser {
        void operator()(HDEVINFO list) const { SetupDiDestroyDeviceInfoList(list); }
    };
    struct KeyCloser {
        void operator()(HKEY key) const { RegCloseKey(key); }
    };
    const HDEVINFO created = SetupDiCreateDeviceInfoList(&kPortsClass, nullptr);
    if (created == INVALID_HANDLE_VALUE)
        return false;
    const std::unique_ptr<std::remove_pointer_t<HDEVINFO>, ListCloser> list(created);
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof(device);
    const std::wstring instance = L"ROOT\\PORTS\\" + port;
    if (!SetupDiCreateDeviceInfoW(list.get(), instance.c_str(), &kPortsClass, nullptr, nullptr, 0,
                                  &device) ||
        !SetupDiRegisterDeviceInfo(list.get(), &device, 0, nullptr, nullptr, nullptr) ||
        !SetupDiSetDeviceRegistryPropertyW(
            list.get(), &device, SPDRP_FRIENDLYNAME, reinterpret_cast<const BYTE*>(name.c_str()),
            static_cast<DWORD>((name.size() + 1) * sizeof(wchar_t)))) {
        return false;
    }
    const HKEY opened = SetupDiCreateDevRegKeyW(list.get(), &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV,
                                                nullptr, nullptr);
    if (opened == INVALID_HANDLE_VALUE)
        return false;
    const std::unique_ptr<std::remove_pointer_t<HKEY>, KeyCloser> key(opened);
    return RegSetValueExW(key.get(), L"PortName", 0, REG_SZ,
                          reinterpret_cast<const BYTE*>(port.c_str()),
                          static_cast<DWORD>((port.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}

int Usage() {
    std::fputs(
        "usage: korvalen-driver [--window HWND] COMMAND [ARGS]\n"
        "  main-windows [COUNT [TIMEOUT]]   wait for COUNT main windows, print them\n"
        "  wait-gone TIMEOUT                until no main window is left\n"
        "  text ID | status PART | list ID | enabled ID | visible | iconic | foreground\n"
        "  menu-item ID                     'enabled' or 'grayed' and the item's text\n"
        "  click ID | command ID | syscommand N | close | minimize | list-add ID TEXT\n"
        "  close-handled                    close, returning once the window handled it\n"
        "  keys VK...                       keys pressed together in the active window\n"
        "  tray MOUSE_MESSAGE | tray-icon   the icon's notification; 1 when it is there\n"
        "  wait-message TEXT [TIMEOUT]      print the box's whole text\n"
        "  answer TEXT BUTTON_ID [TIMEOUT]\n"
        "  no-message TEXT MS               fail when such a box shows up within MS\n"
        "  popup-wait [TIMEOUT] | popup-cancel\n"
        "  popup-choose N [TIMEOUT]         choose the Nth item (0-based, separators not\n"
        "                                   counted) of the open popup menu\n"
        "  right-click-status PERCENT       0 when a popup menu opens\n"
        "  dialog-text TITLE ID | dialog-click TITLE ID | dialog-type TITLE ID TEXT\n"
        "  dialog-enabled TITLE ID | dialog-list TITLE ID (selected entry marked *)\n"
        "  dialog-select TITLE ID INDEX     pick a drop-down list's entry\n"
        "  dialog-gone TITLE [TIMEOUT]\n"
        "  dialog-checked TITLE ID | dialog-visible TITLE ID | dialog-lines TITLE ID (a list box)\n"
        "  dialog-focus TITLE ID            click into a control of the dialog\n"
        "  folder-browser TITLE PATH [TIMEOUT]  in the folder browser showing TITLE, go PATH\n"
        "                                   (\"..\", names, \"/\") from the selected folder, OK\n"
        "  file-dialog PATH [TIMEOUT]       type PATH into the open file dialog, press OK (until\n"
        "                                   it closes or asks a question)\n"
        "  file-dialog-title [TIMEOUT]      print the open file dialog's title\n"
        "  file-dialog-name [TIMEOUT]       print the name it offers\n"
        "  hotkey-taken VK                  1 when Ctrl+Alt+VK is registered by someone\n"
        "  hotkey-free-elsewhere VK         1 when it is free once another window is active\n"
        "  add-port-device COMn NAME        a serial device named NAME on COMn, as its\n"
        "                                   driver's installation leaves it\n",
        stderr);
    return 2;
}

int Run(std::vector<std::wstring> args) {
    if (args.size() >= 2 && args[0] == L"--window") {
        g_window =
            reinterpret_cast<HWND>(static_cast<INT_PTR>(std::wcstoll(args[1].c_str(), nullptr, 0)));
        args.erase(args.begin(), args.begin() + 2);
    }
    if (args.empty())
        return Usage();
    const std::wstring command = args[0];
    const auto arg = [&](std::size_t i) -> const wchar_t* {
        return i < args.size() ? args[i].c_str() : nullptr;
    };
    const auto timeout = [&](std::size_t i, int fallback) {
        return arg(i) ? ToInt(arg(i)) : fallback;
    };

    if (command == L"add-port-device") {
        if (!arg(2))
            return Usage();
        return AddPortDevice(args[1], args[2]) ? 0 : Fail(L"cannot add the device");
    }
    if (command == L"main-windows") {
        const std::size_t count = arg(1) ? static_cast<std::size_t>(ToInt(arg(1))) : 1;
        std::vector<HWND> windows;
        const bool ok = WaitFor(timeout(2, 10000), [&] {
            windows = MainWindows();
            return windows.size() == count;
        });
        for (HWND window : windows) {
            std::wostringstream line;
            line << L"0x" << std::hex << reinterpret_cast<UINT_PTR>(window);
            Print(line.str());
        }
        return ok ? 0 : Fail(L"main windows: " + std::to_wstring(windows.size()));
    }
    if (command == L"wait-gone") {
        return WaitFor(timeout(1, 10000), [] { return MainWindows().empty(); })
                   ? 0
                   : Fail(L"the main window is still there");
    }
    if (command == L"wait-message" || command == L"answer") {
        if (!arg(1) || (command == L"answer" && !arg(2)))
            return Usage();
        const std::size_t timeout_arg = command == L"answer" ? 3 : 2;
        HWND box = nullptr;
        if (!WaitFor(timeout(timeout_arg, 10000), [&] { return (box = FindMessageBox(args[1])); }))
            return Fail(L"no message box with \"" + args[1] + L"\"");
        Print(TextOf(GetDlgItem(box, kMessageText)));
        if (command == L"answer") {
            HWND button = GetDlgItem(box, ToInt(arg(2)));
            if (!button)
                return Fail(L"the message box has no button " + args[2]);
            PostMessageW(button, BM_CLICK, 0, 0);
            if (!WaitFor(5000, [&] { return !IsWindow(box); }))
                return Fail(L"the message box stays open");
        }
        return 0;
    }
    if (command == L"no-message") {
        if (!arg(2))
            return Usage();
        HWND box = nullptr;
        if (WaitFor(ToInt(arg(2)), [&] { return (box = FindMessageBox(args[1])); }))
            return Fail(L"unexpected message box: " + TextOf(GetDlgItem(box, kMessageText)));
        return 0;
    }
    if (command == L"popup-wait") {
        return WaitFor(timeout(1, 5000), [] { return FindPopupMenu() != nullptr; })
                   ? 0
                   : Fail(L"no popup menu");
    }
    if (command == L"popup-choose") {
        if (!arg(1))
            return Usage();
        HWND popup = nullptr;
        if (!WaitFor(timeout(2, 5000), [&] { return (popup = FindPopupMenu()); }))
            return Fail(L"no popup menu");
        // A person moves down to the item and presses Enter; the first Down selects the
        // first item, and separators are skipped. The menu's loop runs on the program's
        // thread and takes keys from that thread's queue. (Menus of another process
        // cannot be read under Wine, so the item is chosen by position.)
        for (int i = 0; i <= ToInt(arg(1)); ++i)
            PostKey(popup, VK_DOWN);
        PostKey(popup, VK_RETURN);
        return WaitFor(5000, [&] { return !IsWindowVisible(popup); }) ? 0 : Fail(L"the menu stays");
    }
    if (command == L"popup-cancel") {
        HWND popup = FindPopupMenu();
        if (!popup)
            return Fail(L"no popup menu");
        PostKey(popup, VK_ESCAPE);
        return WaitFor(5000, [&] { return !IsWindowVisible(popup); }) ? 0 : Fail(L"the menu stays");
    }
    if (command == L"dialog-gone") {
        if (!arg(1))
            return Usage();
        return WaitFor(timeout(2, 5000), [&] { return FindDialog(args[1]) == nullptr; })
                   ? 0
                   : Fail(L"the dialog \"" + args[1] + L"\" is still open");
    }
    if (command == L"dialog-text" || command == L"dialog-click" || command == L"dialog-type" ||
        command == L"dialog-enabled" || command == L"dialog-select" || command == L"dialog-list" ||
        command == L"dialog-checked" || command == L"dialog-lines" || command == L"dialog-focus" ||
        command == L"dialog-visible") {
        if (!arg(2) || ((command == L"dialog-type" || command == L"dialog-select") && !arg(3)))
            return Usage();
        HWND dialog = nullptr;
        if (!WaitFor(5000, [&] { return (dialog = FindDialog(args[1])); }))
            return Fail(L"no dialog \"" + args[1] + L"\"");
        HWND control = GetDlgItem(dialog, ToInt(arg(2)));
        if (!control)
            return Fail(L"no control " + args[2]);
        if (command == L"dialog-click") {
            PostMessageW(control, BM_CLICK, 0, 0);
        } else if (command == L"dialog-type") {
            // A single-line edit tells its dialog of the change (EN_CHANGE) as if typed.
            SendMessageW(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(arg(3)));
        } else if (command == L"dialog-enabled") {
            Print(IsWindowEnabled(control) ? L"1" : L"0");
        } else if (command == L"dialog-visible") {
            Print(IsWindowVisible(control) ? L"1" : L"0");
        } else if (command == L"dialog-checked") {
            Print(SendMessageW(control, BM_GETCHECK, 0, 0) == BST_CHECKED ? L"1" : L"0");
        } else if (command == L"dialog-lines") {
            PrintListBox(control);
        } else if (command == L"dialog-focus") {
            // A click into the control, which takes the focus as it does for a person.
            PostMessageW(control, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2));
            PostMessageW(control, WM_LBUTTONUP, 0, MAKELPARAM(2, 2));
        } else if (command == L"dialog-select") {
            // A drop-down list's entry by its index (-1: none), as a person picks it.
            SendMessageW(control, CB_SETCURSEL, static_cast<WPARAM>(ToInt(arg(3))), 0);
            SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(ToInt(arg(2)), CBN_SELCHANGE),
                         reinterpret_cast<LPARAM>(control));
        } else if (command == L"dialog-list") {
            // A drop-down list's entries, one a line, the selected one marked with "*".
            const int count = static_cast<int>(SendMessageW(control, CB_GETCOUNT, 0, 0));
            const int selected = static_cast<int>(SendMessageW(control, CB_GETCURSEL, 0, 0));
            for (int i = 0; i < count; ++i) {
                const int length = static_cast<int>(SendMessageW(control, CB_GETLBTEXTLEN, i, 0));
                std::wstring entry(static_cast<std::size_t>(length) + 1, L'\0');
                SendMessageW(control, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(entry.data()));
                entry.resize(static_cast<std::size_t>(length));
                Print((i == selected ? L"*" : L"") + entry);
            }
        } else {
            Print(TextOf(control));
        }
        return 0;
    }
    if (command == L"folder-browser") {
        if (!arg(2))
            return Usage();
        HWND browser = nullptr;
        HWND tree = nullptr;
        if (!WaitFor(timeout(3, 10000),
                     [&] { return (browser = FindFolderBrowser(args[1], tree)); }))
            return Fail(L"no folder browser \"" + args[1] + L"\"");
        // The tree fills itself after the dialog shows; its selection comes with it.
        if (!WaitFor(5000, [&] { return SelectTreePath(tree, args[2]); }))
            return Fail(L"no folder " + args[2] + L" from the selected one");
        PostMessageW(browser, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(browser, IDOK)));
        return WaitFor(5000, [&] { return !IsWindow(browser); }) ? 0 : Fail(L"the browser stays");
    }
    if (command == L"hotkey-free-elsewhere") {
        // Activates a window of the driver's own, as a person switching to another
        // program would, and reports 1 when Ctrl+Alt+VK then becomes free.
        if (!arg(1))
            return Usage();
        HWND other = CreateWindowExW(0, L"STATIC", L"korvalen-driver", WS_POPUP | WS_VISIBLE, 0, 0,
                                     50, 50, nullptr, nullptr, nullptr, nullptr);
        if (!other)
            return Fail(L"cannot create a window");
        SetForegroundWindow(other);
        const ATOM probe = GlobalAddAtomW(L"korvalen-driver-probe");
        bool free = false;
        WaitFor(3000, [&] {
            MSG message;
            while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
                DispatchMessageW(&message);
            free = RegisterHotKey(nullptr, probe, MOD_CONTROL | MOD_ALT, ToInt(arg(1)));
            return free;
        });
        if (free)
            UnregisterHotKey(nullptr, probe);
        GlobalDeleteAtom(probe);
        DestroyWindow(other);
        Print(free ? L"1" : L"0");
        return 0;
    }
    if (command == L"hotkey-taken") {
        if (!arg(1))
            return Usage();
        // Another registration of the same keys fails while the program holds them.
        const ATOM probe = GlobalAddAtomW(L"korvalen-driver-probe");
        const bool free = RegisterHotKey(nullptr, probe, MOD_CONTROL | MOD_ALT, ToInt(arg(1)));
        if (free)
            UnregisterHotKey(nullptr, probe);
        GlobalDeleteAtom(probe);
        Print(free ? L"0" : L"1");
        return 0;
    }

    const auto main = MainWindow();
    if (!main)
        return Fail(L"no single main window");
    HWND window = *main;
    const auto control = [&](std::size_t i) -> HWND {
        return arg(i) ? GetDlgItem(window, ToInt(arg(i))) : nullptr;
    };

    if (command == L"file-dialog" || command == L"file-dialog-title" ||
        command == L"file-dialog-name") {
        const std::size_t timeout_arg = command == L"file-dialog" ? 2 : 1;
        if (command == L"file-dialog" && !arg(1))
            return Usage();
        HWND dialog = nullptr;
        if (!WaitFor(timeout(timeout_arg, 10000),
                     [&] { return (dialog = FindFileDialog(window)); }))
            return Fail(L"no file dialog");
        if (command == L"file-dialog-title") {
            Print(TextOf(dialog));
            return 0;
        }
        if (command == L"file-dialog-name") {
            Print(TextOf(FileNameField(dialog)));
            return 0;
        }
        // As a person types a full path into the name field and presses Open.
        SendMessageW(FileNameField(dialog), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(arg(1)));
        PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDOK)));
        // It closes, or asks something first (whether to replace a file).
        return WaitFor(5000, [&] { return !IsWindow(dialog) || AsksSomething(dialog); })
                   ? 0
                   : Fail(L"the file dialog stays");
    }
    if (command == L"text") {
        HWND item = control(1);
        if (!item)
            return Fail(L"no control");
        Print(TextOf(item));
        return 0;
    }
    if (command == L"status") {
        HWND bar = GetDlgItem(window, kStatusBar);
        if (!bar || !arg(1))
            return Fail(L"no status bar");
        const auto text = StatusText(bar, ToInt(arg(1)));
        if (!text)
            return Fail(L"cannot read the status bar");
        Print(*text);
        return 0;
    }
    if (command == L"list") {
        HWND list = control(1);
        if (!list)
            return Fail(L"no list");
        PrintListBox(list);
        return 0;
    }
    if (command == L"list-add") {
        // Puts an entry into a list box as the program's own workers do; the system
        // copies the text across processes for a plain list box.
        HWND list = control(1);
        if (!list || !arg(2))
            return Fail(L"no list");
        SendMessageW(list, LB_INSERTSTRING, 0, reinterpret_cast<LPARAM>(arg(2)));
        return 0;
    }
    if (command == L"enabled") {
        HWND item = control(1);
        if (!item)
            return Fail(L"no control");
        Print(IsWindowEnabled(item) ? L"1" : L"0");
        return 0;
    }
    if (command == L"visible") {
        Print(IsWindowVisible(window) ? L"1" : L"0");
        return 0;
    }
    if (command == L"iconic") {
        Print(IsIconic(window) ? L"1" : L"0");
        return 0;
    }
    if (command == L"foreground") {
        Print(GetForegroundWindow() == window ? L"1" : L"0");
        return 0;
    }
    if (command == L"menu-item") {
        // Menus of another process cannot be read under Wine (its menu handles are
        // private to their process); on Windows this works.
        if (!arg(1))
            return Usage();
        HMENU menu = GetMenu(window);
        const UINT id = static_cast<UINT>(ToInt(arg(1)));
        const UINT state = GetMenuState(menu, id, MF_BYCOMMAND);
        if (state == static_cast<UINT>(-1))
            return Fail(L"no menu item " + args[1]);
        std::wstring text(
            static_cast<std::size_t>(GetMenuStringW(menu, id, nullptr, 0, MF_BYCOMMAND)) + 1,
            L'\0');
        text.resize(static_cast<std::size_t>(
            GetMenuStringW(menu, id, text.data(), static_cast<int>(text.size()), MF_BYCOMMAND)));
        Print(std::wstring((state & (MF_GRAYED | MF_DISABLED)) ? L"grayed " : L"enabled ") + text);
        return 0;
    }
    if (command == L"click") {
        HWND item = control(1);
        if (!item)
            return Fail(L"no control");
        PostMessageW(item, BM_CLICK, 0, 0);
        return 0;
    }
    if (command == L"command") {
        if (!arg(1))
            return Usage();
        PostMessageW(window, WM_COMMAND, MAKEWPARAM(ToInt(arg(1)), 0), 0);
        return 0;
    }
    if (command == L"syscommand") {
        if (!arg(1))
            return Usage();
        PostMessageW(window, WM_SYSCOMMAND, static_cast<WPARAM>(ToInt(arg(1))), 0);
        return 0;
    }
    if (command == L"close") {
        // What the close box does.
        PostMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0);
        return 0;
    }
    if (command == L"close-handled") {
        // The same, returning once the window has handled it (or refused it): a test of
        // a refused close needs no pause to be sure nothing happened.
        DWORD_PTR result = 0;
        if (!SendMessageTimeoutW(window, WM_SYSCOMMAND, SC_CLOSE, 0, SMTO_NORMAL, 10000, &result)) {
            return Fail(L"the close was not handled within 10 s");
        }
        return 0;
    }
    if (command == L"minimize") {
        PostMessageW(window, WM_SYSCOMMAND, SC_MINIMIZE, 0);
        return WaitFor(5000, [&] { return IsIconic(window) || !IsWindowVisible(window); })
                   ? 0
                   : Fail(L"not minimised");
    }
    if (command == L"tray") {
        // Under Xvfb there may be no notification area to click: the driver sends what
        // the shell sends for a click on the program's icon.
        if (!arg(1))
            return Usage();
        PostMessageW(window, kTrayNotify, 0, ToInt(arg(1)));
        return 0;
    }
    if (command == L"tray-icon") {
        // 1 when the program's icon (identifier 0) is in the notification area: the shell
        // accepts a change that changes nothing only for an icon it holds.
        NOTIFYICONDATAW data{};
        data.cbSize = sizeof(data);
        data.hWnd = window;
        data.uID = 0;
        Print(Shell_NotifyIconW(NIM_MODIFY, &data) ? L"1" : L"0");
        return 0;
    }
    if (command == L"right-click-status") {
        // Right click at PERCENT of the status bar's width; succeeds when a popup menu
        // opens. The button messages go to the status bar as the system delivers them:
        // mouse input injected with SendInput is unreliable in Wine's virtual desktop
        // (the X server's echo of the pointer warp may put the pointer back, and the
        // click lands where the previous one did).
        HWND bar = GetDlgItem(window, kStatusBar);
        if (!bar || !arg(1))
            return Fail(L"no status bar");
        RECT rect;
        GetClientRect(bar, &rect);
        const LPARAM at = MAKELPARAM(rect.right * ToInt(arg(1)) / 100, rect.bottom / 2);
        PostMessageW(bar, WM_RBUTTONDOWN, MK_RBUTTON, at);
        PostMessageW(bar, WM_RBUTTONUP, 0, at);
        if (!WaitFor(1500, [] { return FindPopupMenu() != nullptr; }))
            return Fail(L"no popup menu");
        return 0;
    }
    if (command == L"keys") {
        // Keys pressed together, released in reverse order, typed into the active
        // window. X events would not do: Xvfb has no window manager to give the focus.
        if (!arg(1))
            return Usage();
        // The keys go where a person's would: to the window's active popup (a dialog
        // it opened) or to the window itself.
        SetForegroundWindow(GetLastActivePopup(window));
        std::vector<WORD> keys;
        for (std::size_t i = 1; i < args.size(); ++i)
            keys.push_back(static_cast<WORD>(ToInt(arg(i))));
        SendKeys(keys);
        return 0;
    }
    return Usage();
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    return Run(std::vector<std::wstring>(argv + 1, argv + argc));
}

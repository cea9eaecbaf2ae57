// korvalen-driver: drives the real Korvalen.exe from outside, as a person would, for the
// end-to-end tests. It runs in the same Wine prefix and display as the program, finds its
// windows by title, class and control id, reads texts, clicks, answers message boxes and
// sends input. One command per run; results go to standard output as UTF-8 lines, and the
// exit code is 0 on success, 1 when the expected thing did not happen, 2 on bad usage.
//
//   korvalen-driver [--window HWND] COMMAND [ARGS]
//
// The commands are the table kCommands at the end, each a small function. Waiting
// commands poll every 50 ms up to a time-out in milliseconds.
#include <windows.h>

#include <commctrl.h>
#include <fcntl.h>
#include <io.h>
#include <setupapi.h>
#include <shellapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
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

// One call of a command: its arguments (args[0] is its name) and, for the commands that
// work on it, the main window.
struct Call {
    std::vector<std::wstring> args;
    HWND main = nullptr;

    const wchar_t* arg(std::size_t i) const { return i < args.size() ? args[i].c_str() : nullptr; }
    int number(std::size_t i) const { return ToInt(arg(i)); }
    // A time-out in milliseconds, when given.
    int timeout(std::size_t i, int fallback) const { return arg(i) ? number(i) : fallback; }
    // A control of the main window by the id in argument i.
    HWND control(std::size_t i) const { return GetDlgItem(main, number(i)); }
};

std::wstring HandleText(const void* handle) {
    std::wostringstream text;
    text << L"0x" << std::hex << reinterpret_cast<UINT_PTR>(handle);
    return text.str();
}

// Sends `message` and returns once the window has handled it (or refused it), so that a
// test can check what did not happen without a pause. A handler that opens a modal window
// does not return: that fails after 10 s.
int SendHandled(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutW(window, message, wparam, lparam, SMTO_NORMAL, 10000, &result))
        return Fail(L"not handled within 10 s (a modal window open?)");
    return 0;
}

// Main windows, message boxes, menus.

int MainWindowsCommand(const Call& c) {
    const std::size_t count = c.arg(1) ? static_cast<std::size_t>(c.number(1)) : 1;
    std::vector<HWND> windows;
    const bool ok = WaitFor(c.timeout(2, 10000), [&] {
        windows = MainWindows();
        return windows.size() == count;
    });
    for (HWND window : windows)
        Print(HandleText(window));
    return ok ? 0 : Fail(L"main windows: " + std::to_wstring(windows.size()));
}

int WaitGone(const Call& c) {
    return WaitFor(c.timeout(1, 10000), [] { return MainWindows().empty(); })
               ? 0
               : Fail(L"the main window is still there");
}

// The box with the text, once it shows; prints its whole text.
HWND WaitMessageBox(const Call& c, std::size_t timeout_arg) {
    HWND box = nullptr;
    if (!WaitFor(c.timeout(timeout_arg, 10000), [&] { return (box = FindMessageBox(c.args[1])); }))
        return nullptr;
    Print(TextOf(GetDlgItem(box, kMessageText)));
    return box;
}

int WaitMessage(const Call& c) {
    return WaitMessageBox(c, 2) ? 0 : Fail(L"no message box with \"" + c.args[1] + L"\"");
}

int Answer(const Call& c) {
    HWND box = WaitMessageBox(c, 3);
    if (!box)
        return Fail(L"no message box with \"" + c.args[1] + L"\"");
    HWND button = GetDlgItem(box, c.number(2));
    if (!button)
        return Fail(L"the message box has no button " + c.args[2]);
    PostMessageW(button, BM_CLICK, 0, 0);
    return WaitFor(5000, [&] { return !IsWindow(box); }) ? 0 : Fail(L"the message box stays open");
}

int NoMessage(const Call& c) {
    HWND box = nullptr;
    if (WaitFor(c.number(2), [&] { return (box = FindMessageBox(c.args[1])); }))
        return Fail(L"unexpected message box: " + TextOf(GetDlgItem(box, kMessageText)));
    return 0;
}

int PopupWait(const Call& c) {
    return WaitFor(c.timeout(1, 5000), [] { return FindPopupMenu() != nullptr; })
               ? 0
               : Fail(L"no popup menu");
}

int PopupChoose(const Call& c) {
    HWND popup = nullptr;
    if (!WaitFor(c.timeout(2, 5000), [&] { return (popup = FindPopupMenu()); }))
        return Fail(L"no popup menu");
    // A person moves down to the item and presses Enter; the first Down selects the
    // first item, and separators are skipped. The menu's loop runs on the program's
    // thread and takes keys from that thread's queue. (Menus of another process cannot be
    // read under Wine, so the item is chosen by position.)
    for (int i = 0; i <= c.number(1); ++i)
        PostKey(popup, VK_DOWN);
    PostKey(popup, VK_RETURN);
    return WaitFor(5000, [&] { return !IsWindowVisible(popup); }) ? 0 : Fail(L"the menu stays");
}

int PopupCancel(const Call&) {
    HWND popup = FindPopupMenu();
    if (!popup)
        return Fail(L"no popup menu");
    PostKey(popup, VK_ESCAPE);
    return WaitFor(5000, [&] { return !IsWindowVisible(popup); }) ? 0 : Fail(L"the menu stays");
}

// Dialogs, found by their titles.

int DialogGone(const Call& c) {
    return WaitFor(c.timeout(2, 5000), [&] { return FindDialog(c.args[1]) == nullptr; })
               ? 0
               : Fail(L"the dialog \"" + c.args[1] + L"\" is still open");
}

// The dialog titled by argument 1, once it shows.
HWND WaitDialog(const Call& c) {
    HWND dialog = nullptr;
    WaitFor(5000, [&] { return (dialog = FindDialog(c.args[1])); });
    return dialog;
}

// Runs `act` on the dialog titled by argument 1 and its control with the id in argument 2.
int OnDialogControl(const Call& c, const std::function<int(HWND dialog, HWND control)>& act) {
    HWND dialog = WaitDialog(c);
    if (!dialog)
        return Fail(L"no dialog \"" + c.args[1] + L"\"");
    HWND control = GetDlgItem(dialog, c.number(2));
    if (!control)
        return Fail(L"no control " + c.args[2]);
    return act(dialog, control);
}

int PrintFlag(bool flag) {
    Print(flag ? L"1" : L"0");
    return 0;
}

int DialogText(const Call& c) {
    return OnDialogControl(c, [](HWND, HWND control) {
        Print(TextOf(control));
        return 0;
    });
}

int DialogClick(const Call& c) {
    return OnDialogControl(c, [](HWND, HWND control) {
        PostMessageW(control, BM_CLICK, 0, 0);
        return 0;
    });
}

int DialogClickHandled(const Call& c) {
    return OnDialogControl(c,
                           [](HWND, HWND control) { return SendHandled(control, BM_CLICK, 0, 0); });
}

int DialogType(const Call& c) {
    return OnDialogControl(c, [&](HWND, HWND control) {
        // A single-line edit tells its dialog of the change (EN_CHANGE) as if typed.
        SendMessageW(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(c.arg(3)));
        return 0;
    });
}

int DialogEnabled(const Call& c) {
    return OnDialogControl(c,
                           [](HWND, HWND control) { return PrintFlag(IsWindowEnabled(control)); });
}

int DialogVisible(const Call& c) {
    return OnDialogControl(c,
                           [](HWND, HWND control) { return PrintFlag(IsWindowVisible(control)); });
}

int DialogChecked(const Call& c) {
    return OnDialogControl(c, [](HWND, HWND control) {
        return PrintFlag(SendMessageW(control, BM_GETCHECK, 0, 0) == BST_CHECKED);
    });
}

int DialogLines(const Call& c) {
    return OnDialogControl(c, [](HWND, HWND control) {
        PrintListBox(control);
        return 0;
    });
}

int DialogFocus(const Call& c) {
    return OnDialogControl(c, [](HWND, HWND control) {
        // A click into the control, which takes the focus as it does for a person.
        PostMessageW(control, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2));
        PostMessageW(control, WM_LBUTTONUP, 0, MAKELPARAM(2, 2));
        return 0;
    });
}

int DialogSelect(const Call& c) {
    return OnDialogControl(c, [&](HWND dialog, HWND control) {
        // A drop-down list's entry by its index (-1: none), as a person picks it.
        SendMessageW(control, CB_SETCURSEL, static_cast<WPARAM>(c.number(3)), 0);
        SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(c.number(2), CBN_SELCHANGE),
                     reinterpret_cast<LPARAM>(control));
        return 0;
    });
}

int DialogList(const Call& c) {
    return OnDialogControl(c, [](HWND, HWND control) {
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
        return 0;
    });
}

int DialogWindow(const Call& c) {
    HWND dialog = WaitDialog(c);
    if (!dialog)
        return Fail(L"no dialog \"" + c.args[1] + L"\"");
    Print(HandleText(dialog));
    return 0;
}

// The id of the dialog's control that has the keyboard focus ("none" when none has it):
// the focus of another process's thread, as the system keeps it for that thread.
int DialogFocused(const Call& c) {
    HWND dialog = WaitDialog(c);
    if (!dialog)
        return Fail(L"no dialog \"" + c.args[1] + L"\"");
    GUITHREADINFO info{};
    info.cbSize = sizeof(info);
    if (!GetGUIThreadInfo(GetWindowThreadProcessId(dialog, nullptr), &info))
        return Fail(L"cannot read the dialog's focus");
    const bool inside = info.hwndFocus && GetAncestor(info.hwndFocus, GA_ROOT) == dialog;
    Print(inside ? std::to_wstring(GetDlgCtrlID(info.hwndFocus)) : L"none");
    return 0;
}

std::vector<WORD> KeysFrom(const Call& c, std::size_t first) {
    std::vector<WORD> keys;
    for (std::size_t i = first; i < c.args.size(); ++i)
        keys.push_back(static_cast<WORD>(c.number(i)));
    return keys;
}

int DialogKeys(const Call& c) {
    HWND dialog = WaitDialog(c);
    if (!dialog)
        return Fail(L"no dialog \"" + c.args[1] + L"\"");
    SetForegroundWindow(dialog);
    SendKeys(KeysFrom(c, 2));
    return 0;
}

std::wstring RectText(HWND window) {
    RECT rect{};
    GetWindowRect(window, &rect);
    return std::to_wstring(rect.left) + L" " + std::to_wstring(rect.top) + L" " +
           std::to_wstring(rect.right) + L" " + std::to_wstring(rect.bottom);
}

int DialogRect(const Call& c) {
    HWND dialog = WaitDialog(c);
    if (!dialog)
        return Fail(L"no dialog \"" + c.args[1] + L"\"");
    Print(RectText(dialog));
    return 0;
}

int FolderBrowser(const Call& c) {
    HWND browser = nullptr;
    HWND tree = nullptr;
    if (!WaitFor(c.timeout(3, 10000),
                 [&] { return (browser = FindFolderBrowser(c.args[1], tree)); }))
        return Fail(L"no folder browser \"" + c.args[1] + L"\"");
    // The tree fills itself after the dialog shows; its selection comes with it.
    if (!WaitFor(5000, [&] { return SelectTreePath(tree, c.args[2]); }))
        return Fail(L"no folder " + c.args[2] + L" from the selected one");
    PostMessageW(browser, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(browser, IDOK)));
    return WaitFor(5000, [&] { return !IsWindow(browser); }) ? 0 : Fail(L"the browser stays");
}

// Serial devices of the setup class "Ports".
constexpr GUID kPortsClass = {
    0x4d36e978, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}};
struct ListCloser {
    void operator()(HDEVINFO list) const { SetupDiDestroyDeviceInfoList(list); }
};
using DeviceList = std::unique_ptr<std::remove_pointer_t<HDEVINFO>, ListCloser>;
struct KeyCloser {
    void operator()(HKEY key) const { RegCloseKey(key); }
};

// A serial device of the setup class "Ports" as a driver's installation leaves it: its
// instance (ROOT\PORTS\COMn unless given, as a USB adapter's "USB\VID_1A86&PID_7523\..."),
// its hardware ids, the name the Device Manager shows and the port in the device's key.
// Wine's own ports have none of them, so the tests add one for the port list to find.
int AddPortDevice(const Call& c) {
    const std::wstring& port = c.args[1];
    const std::wstring& name = c.args[2];
    const std::wstring instance = c.arg(3) ? c.args[3] : L"ROOT\\PORTS\\" + port;
    std::wstring hardware_ids;  // REG_MULTI_SZ: each id ended by its zero, one more at the end
    for (std::size_t i = 4; i < c.args.size(); ++i)
        hardware_ids += c.args[i] + L'\0';
    hardware_ids += L'\0';
    const HDEVINFO created = SetupDiCreateDeviceInfoList(&kPortsClass, nullptr);
    if (created == INVALID_HANDLE_VALUE)
        return Fail(L"cannot add the device");
    const DeviceList list(created);
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof(device);
    if (!SetupDiCreateDeviceInfoW(list.get(), instance.c_str(), &kPortsClass, nullptr, nullptr, 0,
                                  &device) ||
        !SetupDiRegisterDeviceInfo(list.get(), &device, 0, nullptr, nullptr, nullptr) ||
        !SetupDiSetDeviceRegistryPropertyW(
            list.get(), &device, SPDRP_FRIENDLYNAME, reinterpret_cast<const BYTE*>(name.c_str()),
            static_cast<DWORD>((name.size() + 1) * sizeof(wchar_t)))) {
        return Fail(L"cannot add the device (" + std::to_wstring(GetLastError()) + L")");
    }
    if (c.args.size() > 4 && !SetupDiSetDeviceRegistryPropertyW(
                                 list.get(), &device, SPDRP_HARDWAREID,
                                 reinterpret_cast<const BYTE*>(hardware_ids.data()),
                                 static_cast<DWORD>(hardware_ids.size() * sizeof(wchar_t)))) {
        return Fail(L"cannot set the hardware ids");
    }
    const HKEY opened = SetupDiCreateDevRegKeyW(list.get(), &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV,
                                                nullptr, nullptr);
    if (opened == INVALID_HANDLE_VALUE)
        return Fail(L"cannot add the device");
    const std::unique_ptr<std::remove_pointer_t<HKEY>, KeyCloser> key(opened);
    const bool set =
        RegSetValueExW(key.get(), L"PortName", 0, REG_SZ,
                       reinterpret_cast<const BYTE*>(port.c_str()),
                       static_cast<DWORD>((port.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
    return set ? 0 : Fail(L"cannot add the device");
}

// The device of that instance removed, as Windows removes an adapter pulled out.
int RemovePortDevice(const Call& c) {
    const HDEVINFO created = SetupDiCreateDeviceInfoList(&kPortsClass, nullptr);
    if (created == INVALID_HANDLE_VALUE)
        return Fail(L"cannot list the devices");
    const DeviceList list(created);
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof(device);
    if (!SetupDiOpenDeviceInfoW(list.get(), c.arg(1), nullptr, 0, &device))
        return Fail(L"no device " + c.args[1]);
    if (!SetupDiRemoveDevice(list.get(), &device))
        return Fail(L"cannot remove the device (" + std::to_wstring(GetLastError()) + L")");
    return 0;
}

// A message as the system sends it to the main window (WM_QUERYENDSESSION at shutdown,
// WM_DEVICECHANGE for a new device, WM_POWERBROADCAST at wake-up); prints the answer.
int SendToWindow(const Call& c) {
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutW(c.main, static_cast<UINT>(c.number(1)),
                             static_cast<WPARAM>(c.number(2)), static_cast<LPARAM>(c.number(3)),
                             SMTO_NORMAL, 10000, &result)) {
        return Fail(L"not handled within 10 s");
    }
    Print(std::to_wstring(result));
    return 0;
}

// Hot keys.

int HotkeyFreeElsewhere(const Call& c) {
    // Activates a window of the driver's own, as a person switching to another program
    // would, and reports 1 when Ctrl+Alt+VK then becomes free.
    HWND other = CreateWindowExW(0, L"STATIC", L"korvalen-driver", WS_POPUP | WS_VISIBLE, 0, 0, 50,
                                 50, nullptr, nullptr, nullptr, nullptr);
    if (!other)
        return Fail(L"cannot create a window");
    SetForegroundWindow(other);
    const ATOM probe = GlobalAddAtomW(L"korvalen-driver-probe");
    bool free = false;
    WaitFor(3000, [&] {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageW(&message);
        free = RegisterHotKey(nullptr, probe, MOD_CONTROL | MOD_ALT, c.number(1));
        return free;
    });
    if (free)
        UnregisterHotKey(nullptr, probe);
    GlobalDeleteAtom(probe);
    DestroyWindow(other);
    return PrintFlag(free);
}

int HotkeyTaken(const Call& c) {
    // Another registration of the same keys fails while the program holds them.
    const ATOM probe = GlobalAddAtomW(L"korvalen-driver-probe");
    const bool free = RegisterHotKey(nullptr, probe, MOD_CONTROL | MOD_ALT, c.number(1));
    if (free)
        UnregisterHotKey(nullptr, probe);
    GlobalDeleteAtom(probe);
    return PrintFlag(!free);
}

// The main window's file dialog.

HWND WaitFileDialog(const Call& c, std::size_t timeout_arg) {
    HWND dialog = nullptr;
    WaitFor(c.timeout(timeout_arg, 10000), [&] { return (dialog = FindFileDialog(c.main)); });
    return dialog;
}

int FileDialog(const Call& c) {
    HWND dialog = WaitFileDialog(c, 2);
    if (!dialog)
        return Fail(L"no file dialog");
    // As a person types a full path into the name field and presses Open.
    SendMessageW(FileNameField(dialog), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(c.arg(1)));
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDOK)));
    // It closes, or asks something first (whether to replace a file).
    return WaitFor(5000, [&] { return !IsWindow(dialog) || AsksSomething(dialog); })
               ? 0
               : Fail(L"the file dialog stays");
}

int FileDialogTitle(const Call& c) {
    HWND dialog = WaitFileDialog(c, 1);
    if (!dialog)
        return Fail(L"no file dialog");
    Print(TextOf(dialog));
    return 0;
}

int FileDialogName(const Call& c) {
    HWND dialog = WaitFileDialog(c, 1);
    if (!dialog)
        return Fail(L"no file dialog");
    Print(TextOf(FileNameField(dialog)));
    return 0;
}

// The main window's controls and state.

int Text(const Call& c) {
    HWND item = c.control(1);
    if (!item)
        return Fail(L"no control");
    Print(TextOf(item));
    return 0;
}

int Status(const Call& c) {
    HWND bar = GetDlgItem(c.main, kStatusBar);
    if (!bar)
        return Fail(L"no status bar");
    const auto text = StatusText(bar, c.number(1));
    if (!text)
        return Fail(L"cannot read the status bar");
    Print(*text);
    return 0;
}

int List(const Call& c) {
    HWND list = c.control(1);
    if (!list)
        return Fail(L"no list");
    PrintListBox(list);
    return 0;
}

int ListAdd(const Call& c) {
    // Puts an entry into a list box as the program's own workers do; the system copies
    // the text across processes for a plain list box.
    HWND list = c.control(1);
    if (!list)
        return Fail(L"no list");
    SendMessageW(list, LB_INSERTSTRING, 0, reinterpret_cast<LPARAM>(c.arg(2)));
    return 0;
}

int Enabled(const Call& c) {
    HWND item = c.control(1);
    if (!item)
        return Fail(L"no control");
    return PrintFlag(IsWindowEnabled(item));
}

int Progress(const Call& c) {
    HWND bar = c.control(1);
    if (!bar)
        return Fail(L"no control");
    Print(std::to_wstring(SendMessageW(bar, PBM_GETPOS, 0, 0)));
    return 0;
}

int WindowRect(const Call& c) {
    Print(RectText(c.main));
    return 0;
}

int WindowEnabled(const Call& c) {
    return PrintFlag(IsWindowEnabled(c.main));
}
int Visible(const Call& c) {
    return PrintFlag(IsWindowVisible(c.main));
}
int Iconic(const Call& c) {
    return PrintFlag(IsIconic(c.main));
}
int Foreground(const Call& c) {
    return PrintFlag(GetForegroundWindow() == c.main);
}

int MenuItem(const Call& c) {
    // Menus of another process cannot be read under Wine (its menu handles are private to
    // their process); on Windows this works.
    HMENU menu = GetMenu(c.main);
    const auto id = static_cast<UINT>(c.number(1));
    const UINT state = GetMenuState(menu, id, MF_BYCOMMAND);
    if (state == static_cast<UINT>(-1))
        return Fail(L"no menu item " + c.args[1]);
    std::wstring text(
        static_cast<std::size_t>(GetMenuStringW(menu, id, nullptr, 0, MF_BYCOMMAND)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(
        GetMenuStringW(menu, id, text.data(), static_cast<int>(text.size()), MF_BYCOMMAND)));
    Print(std::wstring((state & (MF_GRAYED | MF_DISABLED)) ? L"grayed " : L"enabled ") + text);
    return 0;
}

int Click(const Call& c) {
    HWND item = c.control(1);
    if (!item)
        return Fail(L"no control");
    PostMessageW(item, BM_CLICK, 0, 0);
    return 0;
}

int Command(const Call& c) {
    PostMessageW(c.main, WM_COMMAND, MAKEWPARAM(c.number(1), 0), 0);
    return 0;
}

int CommandHandled(const Call& c) {
    return SendHandled(c.main, WM_COMMAND, MAKEWPARAM(c.number(1), 0), 0);
}

int SysCommand(const Call& c) {
    PostMessageW(c.main, WM_SYSCOMMAND, static_cast<WPARAM>(c.number(1)), 0);
    return 0;
}

int Close(const Call& c) {
    // What the close box does.
    PostMessageW(c.main, WM_SYSCOMMAND, SC_CLOSE, 0);
    return 0;
}

int CloseHandled(const Call& c) {
    return SendHandled(c.main, WM_SYSCOMMAND, SC_CLOSE, 0);
}

int Minimize(const Call& c) {
    PostMessageW(c.main, WM_SYSCOMMAND, SC_MINIMIZE, 0);
    return WaitFor(5000, [&] { return IsIconic(c.main) || !IsWindowVisible(c.main); })
               ? 0
               : Fail(L"not minimised");
}

int Tray(const Call& c) {
    // Under Xvfb there may be no notification area to click: the driver sends what the
    // shell sends for a click on the program's icon.
    PostMessageW(c.main, kTrayNotify, 0, c.number(1));
    return 0;
}

int TrayIcon(const Call& c) {
    // 1 when the program's icon (identifier 0) is in the notification area: the shell
    // accepts a change that changes nothing only for an icon it holds.
    NOTIFYICONDATAW data{};
    data.cbSize = sizeof(data);
    data.hWnd = c.main;
    data.uID = 0;
    return PrintFlag(Shell_NotifyIconW(NIM_MODIFY, &data));
}

int RightClickStatus(const Call& c) {
    // Right click at PERCENT of the status bar's width; succeeds when a popup menu opens.
    // The button messages go to the status bar as the system delivers them: mouse input
    // injected with SendInput is unreliable in Wine's virtual desktop (the X server's
    // echo of the pointer warp may put the pointer back, and the click lands where the
    // previous one did).
    HWND bar = GetDlgItem(c.main, kStatusBar);
    if (!bar)
        return Fail(L"no status bar");
    RECT rect;
    GetClientRect(bar, &rect);
    const LPARAM at = MAKELPARAM(rect.right * c.number(1) / 100, rect.bottom / 2);
    PostMessageW(bar, WM_RBUTTONDOWN, MK_RBUTTON, at);
    PostMessageW(bar, WM_RBUTTONUP, 0, at);
    return WaitFor(1500, [] { return FindPopupMenu() != nullptr; }) ? 0 : Fail(L"no popup menu");
}

int Keys(const Call& c) {
    // Keys pressed together, released in reverse order, typed where a person's would go:
    // into the window's active popup (a dialog it opened) or the window itself. X events
    // would not do: Xvfb has no window manager to give the focus.
    SetForegroundWindow(GetLastActivePopup(c.main));
    SendKeys(KeysFrom(c, 1));
    return 0;
}

enum class Needs { Nothing, MainWindow };

struct DriverCommand {
    std::wstring_view name;
    std::size_t arguments;  // at least this many after the name
    Needs needs;
    int (*run)(const Call&);
    std::wstring_view usage;  // the arguments and what it does
};

constexpr DriverCommand kCommands[] = {
    {L"main-windows", 0, Needs::Nothing, MainWindowsCommand,
     L"[COUNT [TIMEOUT]]   wait for COUNT (1) main windows, print them"},
    {L"wait-gone", 0, Needs::Nothing, WaitGone, L"[TIMEOUT]   until no main window is left"},
    {L"wait-message", 1, Needs::Nothing, WaitMessage,
     L"TEXT [TIMEOUT]   wait for a message box with TEXT, print its whole text"},
    {L"answer", 2, Needs::Nothing, Answer,
     L"TEXT BUTTON_ID [TIMEOUT]   the same, then press the button"},
    {L"no-message", 2, Needs::Nothing, NoMessage,
     L"TEXT MS   fail when such a box shows within MS (0: now)"},
    {L"popup-wait", 0, Needs::Nothing, PopupWait, L"[TIMEOUT]   until a popup menu is open"},
    {L"popup-choose", 1, Needs::Nothing, PopupChoose,
     L"N [TIMEOUT]   choose the Nth item (0-based, separators not counted) of the open popup"},
    {L"popup-cancel", 0, Needs::Nothing, PopupCancel, L"  close the open popup menu"},
    {L"dialog-gone", 1, Needs::Nothing, DialogGone, L"TITLE [TIMEOUT]"},
    {L"dialog-text", 2, Needs::Nothing, DialogText, L"TITLE ID"},
    {L"dialog-click", 2, Needs::Nothing, DialogClick, L"TITLE ID"},
    {L"dialog-click-handled", 2, Needs::Nothing, DialogClickHandled,
     L"TITLE ID   click, returning once the dialog has handled it"},
    {L"dialog-type", 3, Needs::Nothing, DialogType, L"TITLE ID TEXT"},
    {L"dialog-enabled", 2, Needs::Nothing, DialogEnabled, L"TITLE ID"},
    {L"dialog-visible", 2, Needs::Nothing, DialogVisible, L"TITLE ID"},
    {L"dialog-checked", 2, Needs::Nothing, DialogChecked, L"TITLE ID"},
    {L"dialog-lines", 2, Needs::Nothing, DialogLines, L"TITLE ID   a list box's entries"},
    {L"dialog-list", 2, Needs::Nothing, DialogList,
     L"TITLE ID   a drop-down list's entries, the selected one marked *"},
    {L"dialog-select", 3, Needs::Nothing, DialogSelect,
     L"TITLE ID INDEX   pick a drop-down list's entry"},
    {L"dialog-focus", 2, Needs::Nothing, DialogFocus, L"TITLE ID   click into a control"},
    {L"dialog-focused", 1, Needs::Nothing, DialogFocused,
     L"TITLE   the id of the control with the keyboard focus"},
    {L"dialog-keys", 2, Needs::Nothing, DialogKeys,
     L"TITLE VK...   keys pressed together in the dialog"},
    {L"dialog-window", 1, Needs::Nothing, DialogWindow, L"TITLE   print the dialog's handle"},
    {L"dialog-rect", 1, Needs::Nothing, DialogRect,
     L"TITLE   its frame on the screen: left top right bottom"},
    {L"folder-browser", 2, Needs::Nothing, FolderBrowser,
     L"TITLE PATH [TIMEOUT]   in the folder browser showing TITLE go PATH (\"..\", names, "
     L"\"/\") from the selected folder, OK"},
    {L"hotkey-taken", 1, Needs::Nothing, HotkeyTaken,
     L"VK   1 when Ctrl+Alt+VK is registered by someone"},
    {L"hotkey-free-elsewhere", 1, Needs::Nothing, HotkeyFreeElsewhere,
     L"VK   1 when it is free once another window is active"},
    {L"add-port-device", 2, Needs::Nothing, AddPortDevice,
     L"COMn NAME [INSTANCE [HARDWARE_ID...]]   a serial device named NAME on COMn, as its "
     L"driver's installation leaves it"},
    {L"remove-port-device", 1, Needs::Nothing, RemovePortDevice,
     L"INSTANCE   that device gone, as an adapter pulled out"},
    {L"send", 3, Needs::MainWindow, SendToWindow,
     L"MESSAGE WPARAM LPARAM   send a message to the main window (decimal), print its answer"},
    {L"file-dialog", 1, Needs::MainWindow, FileDialog,
     L"PATH [TIMEOUT]   type PATH into the open file dialog, press OK (until it closes or "
     L"asks a question)"},
    {L"file-dialog-title", 0, Needs::MainWindow, FileDialogTitle,
     L"[TIMEOUT]   the open file dialog's title"},
    {L"file-dialog-name", 0, Needs::MainWindow, FileDialogName, L"[TIMEOUT]   the name it offers"},
    {L"text", 1, Needs::MainWindow, Text, L"ID   a control's text"},
    {L"status", 1, Needs::MainWindow, Status, L"PART   a status bar part's text"},
    {L"list", 1, Needs::MainWindow, List, L"ID   a list box's entries"},
    {L"list-add", 2, Needs::MainWindow, ListAdd, L"ID TEXT   put an entry on top of a list box"},
    {L"enabled", 1, Needs::MainWindow, Enabled, L"ID"},
    {L"progress", 1, Needs::MainWindow, Progress, L"ID   a progress bar's position"},
    {L"window-rect", 0, Needs::MainWindow, WindowRect,
     L"  the main window's frame on the screen: left top right bottom"},
    {L"window-enabled", 0, Needs::MainWindow, WindowEnabled,
     L"  0 while a modal window of the main window is open"},
    {L"visible", 0, Needs::MainWindow, Visible, L""},
    {L"iconic", 0, Needs::MainWindow, Iconic, L""},
    {L"foreground", 0, Needs::MainWindow, Foreground, L""},
    {L"menu-item", 1, Needs::MainWindow, MenuItem, L"ID   'enabled' or 'grayed' and its text"},
    {L"click", 1, Needs::MainWindow, Click, L"ID"},
    {L"command", 1, Needs::MainWindow, Command, L"ID   post WM_COMMAND"},
    {L"command-handled", 1, Needs::MainWindow, CommandHandled,
     L"ID   the same, returning once the window has handled it"},
    {L"syscommand", 1, Needs::MainWindow, SysCommand, L"N"},
    {L"close", 0, Needs::MainWindow, Close, L"  the close box"},
    {L"close-handled", 0, Needs::MainWindow, CloseHandled,
     L"  the same, returning once the window has handled (or refused) it"},
    {L"minimize", 0, Needs::MainWindow, Minimize, L""},
    {L"tray", 1, Needs::MainWindow, Tray, L"MOUSE_MESSAGE   the icon's notification"},
    {L"tray-icon", 0, Needs::MainWindow, TrayIcon, L"  1 when the icon is there"},
    {L"right-click-status", 1, Needs::MainWindow, RightClickStatus,
     L"PERCENT   0 when a popup menu opens"},
    {L"keys", 1, Needs::MainWindow, Keys, L"VK...   keys pressed together in the active window"},
};

int Usage() {
    std::wstring text = L"usage: korvalen-driver [--window HWND] COMMAND [ARGS]\n";
    for (const DriverCommand& command : kCommands)
        text += L"  " + std::wstring(command.name) + L" " + std::wstring(command.usage) + L"\n";
    const std::string utf8 = Narrow(text);
    std::fwrite(utf8.data(), 1, utf8.size(), stderr);
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
    const auto* command =
        std::find_if(std::begin(kCommands), std::end(kCommands),
                     [&](const DriverCommand& candidate) { return candidate.name == args[0]; });
    if (command == std::end(kCommands) || args.size() - 1 < command->arguments)
        return Usage();
    Call call{std::move(args)};
    if (command->needs == Needs::MainWindow) {
        const auto main = MainWindow();
        if (!main)
            return Fail(L"no single main window");
        call.main = *main;
    }
    return command->run(call);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    return Run(std::vector<std::wstring>(argv + 1, argv + argc));
}

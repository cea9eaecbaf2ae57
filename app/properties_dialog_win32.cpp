// The settings dialog on Win32: its controls filled and read back, the ID checked, folders
// browsed.
#include "app/properties_dialog_win32.h"

#include <objbase.h>
#include <shlobj.h>

#include <array>
#include <memory>
#include <string>
#include <string_view>

#include "platform/scope_exit.h"
#include "platform/wide_string_win32.h"
#include "res/resource.h"
#include "settings/settings_dialog_rules.h"
#include "ui/message_box_win32.h"
#include "ui/window_text_win32.h"

namespace korvalen {
namespace {

constexpr int kGlobalIdLength = 4;
constexpr std::array<std::string_view, 3> kIgnitionInputs = {"IN1", "IN2", "IN3"};
constexpr std::array<std::string_view, 2> kIgnitionStates = {"Разомкнут", "Замкнут"};

struct DialogState {
    Settings& edited;
    bool checking_id = false;  // a message about the ID is up: its focus change is ours
};

bool Checked(HWND dialog, int id) {
    return IsDlgButtonChecked(dialog, id) == BST_CHECKED;
}

void Check(HWND dialog, int id, bool checked) {
    CheckDlgButton(dialog, id, checked ? BST_CHECKED : BST_UNCHECKED);
}

void FillList(HWND dialog, int id, const auto& entries, int selected) {
    HWND list = GetDlgItem(dialog, id);
    for (std::string_view entry : entries)
        SendMessageW(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Widen(entry).c_str()));
    SendMessageW(list, CB_SETCURSEL, static_cast<WPARAM>(selected), 0);
}

int Selected(HWND dialog, int id, int kept) {
    const LRESULT index = SendDlgItemMessageW(dialog, id, CB_GETCURSEL, 0, 0);
    return index == CB_ERR ? kept : static_cast<int>(index);
}

void EnableDependents(HWND dialog) {
    EnableWindow(GetDlgItem(dialog, IDC_GLOBAL_ID), Checked(dialog, IDC_USE_GLOBAL_ID));
    const bool ignition = Checked(dialog, IDC_IGNITION_CHECK);
    EnableWindow(GetDlgItem(dialog, IDC_IGNITION_INPUT), ignition);
    EnableWindow(GetDlgItem(dialog, IDC_IGNITION_STATE), ignition);
}

void ShowValues(HWND dialog, const Settings& s) {
    SetWindowUtf8Text(GetDlgItem(dialog, IDC_INBOX_DIR), s.InboxDir);
    SetWindowUtf8Text(GetDlgItem(dialog, IDC_IN_FILE), s.InFile);
    SetWindowUtf8Text(GetDlgItem(dialog, IDC_GLOBAL_ID), std::to_string(s.GlobalID));
    Check(dialog, IDC_USE_GLOBAL_ID, s.UseGlobalID);
    Check(dialog, IDC_IGNITION_CHECK, s.IndInChk);
    Check(dialog, IDC_USE_2D, s.Use2D);
    Check(dialog, IDC_MULTI_START, s.MultiStart);
    Check(dialog, IDC_MIN_TRAY, s.MinTray);
    FillList(dialog, IDC_IGNITION_INPUT, kIgnitionInputs, s.IndInNum);
    FillList(dialog, IDC_IGNITION_STATE, kIgnitionStates, s.IndInStatus);
}

// The controls' values into the working copy. Only the ID can be refused: an edit
// without a number is told and keeps the old ID, and the edit gets the focus back.
bool TakeValues(HWND dialog, DialogState& state) {
    Settings& s = state.edited;
    s.UseGlobalID = Checked(dialog, IDC_USE_GLOBAL_ID);
    s.IndInChk = Checked(dialog, IDC_IGNITION_CHECK);
    s.Use2D = Checked(dialog, IDC_USE_2D);
    s.MultiStart = Checked(dialog, IDC_MULTI_START);
    s.MinTray = Checked(dialog, IDC_MIN_TRAY);
    s.IndInNum = Selected(dialog, IDC_IGNITION_INPUT, s.IndInNum);
    s.IndInStatus = Selected(dialog, IDC_IGNITION_STATE, s.IndInStatus);
    HWND id_edit = GetDlgItem(dialog, IDC_GLOBAL_ID);
    const std::optional<int> id = ParseEditInteger(WindowText(id_edit));
    if (!id) {
        state.checking_id = true;
        ShowMessageBox(dialog, kNotAnIntegerMessage, MB_OK | MB_ICONEXCLAMATION);
        SetFocus(id_edit);
        state.checking_id = false;
        return false;
    }
    s.GlobalID = *id;
    return true;
}

// Leaving the ID edit: 0 is no ID; the previous one comes back.
void OnIdEditLeft(HWND dialog, DialogState& state) {
    if (state.checking_id)
        return;
    const std::int32_t previous = state.edited.GlobalID;
    if (!TakeValues(dialog, state) || state.edited.GlobalID != 0)
        return;
    state.checking_id = true;
    ShowMessageBox(dialog, kZeroIdMessage, MB_OK | MB_ICONSTOP);
    state.checking_id = false;
    state.edited.GlobalID = previous;
    SetWindowUtf8Text(GetDlgItem(dialog, IDC_GLOBAL_ID), std::to_string(previous));
}

int CALLBACK StartBrowserAt(HWND browser, UINT message, LPARAM, LPARAM folder) {
    if (message == BFFM_INITIALIZED && folder != 0)
        SendMessageW(browser, BFFM_SETSELECTIONW, TRUE, folder);
    return 0;
}

struct ItemListFree {
    void operator()(ITEMIDLIST* list) const { CoTaskMemFree(list); }
};

// The shell's folder browser; the picked folder's path, or nothing when the user
// cancelled or picked something that is no folder of the file system.
std::optional<std::string> BrowseForFolder(HWND owner, std::string_view title,
                                           const std::string& start) {
    const std::wstring wide_title = Widen(title);
    const std::wstring wide_start = Widen(start);
    const DWORD attributes =
        start.empty() ? INVALID_FILE_ATTRIBUTES : GetFileAttributesW(wide_start.c_str());
    const bool start_exists =
        attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    BROWSEINFOW info{};
    info.hwndOwner = owner;
    info.lpszTitle = wide_title.c_str();
    info.ulFlags = BIF_RETURNONLYFSDIRS;
    info.lpfn = StartBrowserAt;
    info.lParam = start_exists ? reinterpret_cast<LPARAM>(wide_start.c_str()) : 0;
    const std::unique_ptr<ITEMIDLIST, ItemListFree> picked(SHBrowseForFolderW(&info));
    if (!picked)
        return std::nullopt;
    std::wstring path(MAX_PATH, L'\0');  // the size SHGetPathFromIDListW writes into
    if (!SHGetPathFromIDListW(picked.get(), path.data()))
        return std::nullopt;
    path.resize(wcslen(path.c_str()));
    if (path.empty())
        return std::nullopt;
    return Narrow(path);
}

void OnBrowseInbox(HWND dialog, DialogState& state) {
    const auto folder = BrowseForFolder(dialog, kInboxBrowserTitle, state.edited.InboxDir);
    if (!folder)
        return;
    state.edited.InboxDir = WithTrailingBackslash(*folder);
    SetWindowUtf8Text(GetDlgItem(dialog, IDC_INBOX_DIR), state.edited.InboxDir);
}

void OnBrowseDumpFolder(HWND dialog, DialogState& state) {
    const auto folder =
        BrowseForFolder(dialog, kDumpFolderBrowserTitle, FolderOfFile(state.edited.InFile));
    if (!folder)
        return;
    state.edited.InFile = DumpFileInFolder(*folder);
    SetWindowUtf8Text(GetDlgItem(dialog, IDC_IN_FILE), state.edited.InFile);
}

void OnSave(HWND dialog, DialogState& state) {
    if (!TakeValues(dialog, state))
        return;
    if (state.edited.Use2D &&
        ShowMessageBox(dialog, kUse2DQuestion, MB_YESNO | MB_ICONQUESTION) != IDYES) {
        return;
    }
    if (TakeValues(dialog, state))
        EndDialog(dialog, IDOK);
}

INT_PTR CALLBACK PropertiesProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrW(dialog, DWLP_USER, lparam);
        const auto* state = reinterpret_cast<const DialogState*>(lparam);
        ShowValues(dialog, state->edited);
        SendDlgItemMessageW(dialog, IDC_GLOBAL_ID, EM_LIMITTEXT, kGlobalIdLength, 0);
        EnableDependents(dialog);
        return TRUE;
    }
    auto* state = reinterpret_cast<DialogState*>(GetWindowLongPtrW(dialog, DWLP_USER));
    if (message != WM_COMMAND || !state)
        return FALSE;
    const int id = LOWORD(wparam);
    const int code = HIWORD(wparam);
    switch (id) {
        case IDC_USE_GLOBAL_ID:
        case IDC_IGNITION_CHECK:
            if (code == BN_CLICKED)
                EnableDependents(dialog);
            return TRUE;
        case IDC_GLOBAL_ID:
            if (code == EN_KILLFOCUS)
                OnIdEditLeft(dialog, *state);
            return TRUE;
        case IDC_BROWSE_INBOX:
            OnBrowseInbox(dialog, *state);
            return TRUE;
        case IDC_BROWSE_DUMP_FOLDER:
            OnBrowseDumpFolder(dialog, *state);
            return TRUE;
        case IDOK:
            OnSave(dialog, *state);
            return TRUE;
        case IDCANCEL:
            EndDialog(dialog, IDCANCEL);
            return TRUE;
        default:
            return FALSE;
    }
}

}  // namespace

bool EditSettings(HWND owner, Settings& edited) {
    // The folder browser is a COM object of the shell.
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    const ScopeExit uninitialize([com] {
        if (SUCCEEDED(com))
            CoUninitialize();
    });
    DialogState state{edited};
    return DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_PROPERTIES), owner,
                           PropertiesProc, reinterpret_cast<LPARAM>(&state)) == IDOK;
}

}  // namespace korvalen

// The application object: finds the program's folder, runs the main window modally and
// ends the program when the window ends. There is no message loop after it.
#include <windows.h>

#include <commctrl.h>

#include "app/main_dialog_win32.h"
#include "platform/wide_string_win32.h"
#include "settings/settings.h"

namespace korvalen {

class CKorvalen {
  public:
    int InitInstance() {
        INITCOMMONCONTROLSEX controls{sizeof(controls),
                                      ICC_BAR_CLASSES | ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
        InitCommonControlsEx(&controls);
        const std::string folder = ProgramFolderFromCommandLine(Narrow(GetCommandLineW()));
        CKorvalenDlg dialog(folder);
        dialog.DoModal();
        return 0;
    }
};

}  // namespace korvalen

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    korvalen::CKorvalen application;
    return application.InitInstance();
}

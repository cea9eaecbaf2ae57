// The wait that keeps answering messages, so that a worker sending to a window cannot hang.
#include "ui/message_pump_win32.h"

#include <windows.h>

namespace korvalen {

void PumpMessagesUntil(const std::function<bool()>& done) {
    bool quit = false;
    int quit_code = 0;
    while (!done()) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT) {
                quit = true;
                quit_code = static_cast<int>(message.wParam);
                continue;
            }
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
    if (quit)
        PostQuitMessage(quit_code);
}

}  // namespace korvalen

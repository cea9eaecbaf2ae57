// The hot keys' atoms, and their registration while the program is the active application.
#include "app/hot_keys_win32.h"

namespace korvalen {

HotKeys::HotKeys() : f1_(GlobalAddAtomW(L"ctrAltF1")), f2_(GlobalAddAtomW(L"ctrAltF2")) {}

HotKeys::~HotKeys() {
    Unregister();
    if (f1_)
        GlobalDeleteAtom(f1_);
    if (f2_)
        GlobalDeleteAtom(f2_);
}

void HotKeys::Register(HWND window) {
    // Registering again for the same window fails harmlessly; releasing first keeps the
    // two calls symmetric whatever order the activations come in.
    Unregister();
    window_ = window;
    RegisterHotKey(window, f1_, MOD_CONTROL | MOD_ALT, VK_F1);
    RegisterHotKey(window, f2_, MOD_CONTROL | MOD_ALT, VK_F2);
}

void HotKeys::Unregister() {
    if (!window_)
        return;
    UnregisterHotKey(window_, f1_);
    UnregisterHotKey(window_, f2_);
    window_ = nullptr;
}

}  // namespace korvalen

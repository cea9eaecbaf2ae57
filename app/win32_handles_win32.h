// Owners that close the Win32 handles the main window keeps.
#pragma once

#include <windows.h>

#include <memory>
#include <type_traits>

namespace korvalen {

// Owners of the Win32 handles the window keeps; each closes its handle when it goes.
struct MenuDeleter {
    void operator()(HMENU menu) const { DestroyMenu(menu); }
};
using UniqueMenu = std::unique_ptr<std::remove_pointer_t<HMENU>, MenuDeleter>;

struct KernelHandleDeleter {
    void operator()(HANDLE handle) const { CloseHandle(handle); }
};
using UniqueKernelHandle = std::unique_ptr<std::remove_pointer_t<HANDLE>, KernelHandleDeleter>;

struct HookDeleter {
    void operator()(HHOOK hook) const { UnhookWindowsHookEx(hook); }
};
using UniqueHook = std::unique_ptr<std::remove_pointer_t<HHOOK>, HookDeleter>;

}  // namespace korvalen

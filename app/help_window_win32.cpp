// The help window: the guide from the resources, reflowed, in a text window.
#include "app/help_window_win32.h"

#include <string_view>

#include "app/help_text.h"
#include "res/resource.h"

namespace korvalen {
namespace {

// The guide as the resources hold it (UTF-8).
std::string_view GuideResource() {
    HMODULE module = GetModuleHandleW(nullptr);
    HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(IDR_HELP_TEXT), RT_RCDATA);
    HGLOBAL loaded = found ? LoadResource(module, found) : nullptr;
    const void* bytes = loaded ? LockResource(loaded) : nullptr;
    if (!bytes)
        return {};
    return {static_cast<const char*>(bytes), SizeofResource(module, found)};
}

}  // namespace

void HelpWindow::Show(HWND owner) {
    window_.Show(owner, HelpWindowText(GuideResource()));
}

}  // namespace korvalen

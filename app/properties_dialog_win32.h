// The settings dialog, in which the user edits a working copy of the settings.
#pragma once

#include <windows.h>

#include "settings/settings.h"

namespace korvalen {

// The settings dialog (Properties, resource 129), modal, on a working copy of the
// settings. True when it ended with "Сохранить": `edited` then holds the user's values,
// to be taken with TakeDialogSettings. After "Отмена" `edited` means nothing.
bool EditSettings(HWND owner, Settings& edited);

}  // namespace korvalen

// The settings dialog's texts and the rules of its values, kept apart from the window.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "settings/settings.h"

namespace korvalen {

inline constexpr std::string_view kZeroIdMessage = "Нельзя ставить ID = 0";
inline constexpr std::string_view kNotAnIntegerMessage = "Please enter an integer.";
inline constexpr std::string_view kUse2DQuestion =
    "Отчеты, вычисленные в 2D режиме, имеют пониженную точность! Вы уверены, что хотите их "
    "учитывать?";
inline constexpr std::string_view kInboxBrowserTitle = "Укажите папку InBox для Mervane...";
inline constexpr std::string_view kDumpFolderBrowserTitle = "Укажите папку для временного файла...";
inline constexpr std::string_view kDumpFileName = "Korvalen.trc";

// The ten settings the dialog edits, taken back from its working copy after "Сохранить";
// the InBox folder gets its trailing backslash. The port and the fixed settings stay.
void TakeDialogSettings(Settings& settings, const Settings& edited);

// A folder's path as the settings keep it: with one trailing backslash ("D:\" stays).
std::string WithTrailingBackslash(std::string folder);

// The dump file in a folder the user picked.
std::string DumpFileInFolder(std::string_view folder);

// The folder of a file's path: up to its last backslash, without it unless it is a
// drive's root ("D:\"). Empty when the path names no folder.
std::string FolderOfFile(std::string_view path);

// The integer of an edit as the dialog's data exchange reads it: optional blanks, an
// optional sign and at least one digit, the rest ignored. Nothing for any other text.
std::optional<int> ParseEditInteger(std::string_view text);

}  // namespace korvalen

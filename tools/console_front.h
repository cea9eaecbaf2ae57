// What the tools share on the console: their settings and folders, their error lines and
// the progress line they redraw on standard error.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "settings/settings.h"

namespace korvalen {

// "TOOL: TEXT" on standard error.
void PrintFault(std::string_view tool, std::string_view text);
// A usage error: the text and the hint to the help; returns 2, the status it ends with.
int UsageFault(std::string_view tool, std::string_view text);

// Where a tool's settings come from: the defaults, with the InBox "InBox/" in the current
// folder, or a settings file (the program's Korvalen.ini) when one is given.
struct SettingsChoice {
    std::optional<std::string> settings_file;
    std::optional<std::string> inbox;  // overrides the settings' InBox
};

// The settings chosen, the InBox ending with its separator (an empty line of the file
// is the default). Nothing, with the reason in `error`, when the file cannot be read.
std::optional<Settings> LoadSettings(const SettingsChoice& choice, std::string& error);
// The folder of the dumps, the journal and the read log: `given`, else Data/ beside
// the settings file, else Data/ in the current folder; ending with its separator.
std::string DataFolder(const SettingsChoice& choice, const std::optional<std::string>& given);

// A line on standard error that a tool redraws in place while a long step runs, and
// erases before anything else is printed. Only on a terminal; elsewhere it draws
// nothing. Not synchronised: its owner prints under its own lock.
class ProgressLine {
  public:
    ProgressLine();
    bool shown() const { return drawn_ > 0; }
    bool terminal() const { return terminal_; }
    void Draw(std::string_view text);
    void Erase();

  private:
    const bool terminal_;
    std::size_t drawn_ = 0;  // the length of the line on the screen
};

}  // namespace korvalen

// The tools' console: settings, folders, error lines and the progress line.
#include "tools/console_front.h"

#include <algorithm>
#include <cstdio>
#include <iostream>

#include "platform/console.h"
#include "platform/file.h"
#include "platform/system_error.h"
#include "settings/settings_file.h"
#include "tools/command_line.h"

namespace korvalen {

void PrintFault(std::string_view tool, std::string_view text) {
    std::cerr << tool << ": " << text << '\n';
}

int UsageFault(std::string_view tool, std::string_view text) {
    PrintFault(tool, text);
    std::cerr << "Try '" << tool << " --help'.\n";
    return 2;
}

std::optional<Settings> LoadSettings(const SettingsChoice& choice, std::string& error) {
    Settings settings;
    ApplyDefaults(settings, ".");
    settings.InboxDir.clear();
    if (choice.settings_file) {
        std::string bytes;
        int code = 0;
        if (!ReadWholeFile(*choice.settings_file, bytes, &code)) {
            error = "cannot read the settings file '" + *choice.settings_file + "' (" +
                    SystemErrorText(code) + ")";
            return std::nullopt;
        }
        ParseSettingsFile(bytes, settings);
    }
    if (choice.inbox)
        settings.InboxDir = *choice.inbox;
    if (settings.InboxDir.empty())
        settings.InboxDir = "InBox";
    settings.InboxDir = AsFolder(settings.InboxDir);
    return settings;
}

std::string DataFolder(const SettingsChoice& choice, const std::optional<std::string>& given) {
    if (given)
        return AsFolder(*given);
    const std::string beside = choice.settings_file ? FolderOfPath(*choice.settings_file) : "";
    return AsFolder(beside + "Data");
}

ProgressLine::ProgressLine() : terminal_(StandardErrorIsTerminal()) {}

// Blanks over what is left of a longer line before: a Windows console may not know the
// escape that erases to the end of the line.
void ProgressLine::Draw(std::string_view text) {
    if (!terminal_)
        return;
    std::string line(text);
    line.resize(std::max(text.size(), drawn_), ' ');
    std::fputc('\r', stderr);
    std::fputs(line.c_str(), stderr);
    std::fflush(stderr);
    drawn_ = text.size();
}

void ProgressLine::Erase() {
    if (drawn_ == 0)
        return;
    std::string blanks(drawn_ + 2, ' ');
    blanks.front() = '\r';
    blanks.back() = '\r';
    std::fputs(blanks.c_str(), stderr);
    std::fflush(stderr);
    drawn_ = 0;
}

}  // namespace korvalen

// korvalen-inspect: prints the records of dispatcher message files, one line each.

#include <iostream>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "output/message_file_reader.h"
#include "platform/console.h"
#include "platform/file.h"
#include "platform/system_error.h"
#include "tools/version_line.h"

namespace {

constexpr std::string_view kUsage = "Usage: korvalen-inspect FILE...\n";
constexpr std::string_view kHelp =
    "Prints every record of the given dispatcher message files (the files korvalen-decode\n"
    "and the program write into the InBox folder), one line each: the record's offset in\n"
    "the file, the object, the time (position record: the report time; inputs record: the\n"
    "fix time; local, as the file holds it), the flags word with the record's kind and the\n"
    "last-record mark, longitude, latitude, course (degrees), speed (km/h) and the text\n"
    "(Windows-1251 in the file, shown in UTF-8; quotes, backslashes and control bytes\n"
    "escaped). With more than one file each file's records follow its name. For example:\n"
    "\n"
    "  105: object 149, 02.11.2007 02:08:55, flags 0x0000000C (position), lon 37.92071,\n"
    "  lat 56.69629, course 321.0, speed 111.180, text \"(FLASH) Свежее PU 3D \"\n"
    "\n"
    "A damaged file (a word that must be 0 or 1000 is not, unknown flags, a record cut\n"
    "short) is printed up to its first bad record, which is reported with its offset.\n"
    "\n"
    "  -h, --help     show this help\n"
    "      --version  show the version and the revision\n"
    "\n"
    "Exit status: 0 when every file was read whole, 1 when a file could not be read or is\n"
    "damaged, 2 for a usage error.\n";

// Prints one file, a record at a time; false when it could not be read or is damaged.
bool Inspect(const std::string& path, bool with_name) {
    korvalen::File file;
    if (!file.Open(path, korvalen::OpenMode::OpenExisting, korvalen::Sharing::Shared, true)) {
        std::cerr << "korvalen-inspect: " << path << ": cannot read the file ("
                  << korvalen::SystemErrorText(file.error_code()) << ")\n";
        return false;
    }
    if (with_name)
        std::cout << path << ":\n";
    try {
        korvalen::MessageRecordReader reader(
            [&](char* buffer, std::size_t count) { return file.Read(buffer, count); },
            static_cast<std::uint64_t>(file.Length()));
        while (const auto record = reader.Next())
            std::cout << korvalen::FormatMessageRecord(*record) << '\n';
        std::cout.flush();
        if (!reader.error().empty()) {
            std::cerr << "korvalen-inspect: " << path << ": " << reader.error() << '\n';
            return false;
        }
    } catch (const korvalen::FileError& e) {
        std::cout.flush();
        std::cerr << "korvalen-inspect: " << path << ": cannot read the file ("
                  << korvalen::SystemErrorText(e.code()) << ")\n";
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    korvalen::UseUtf8Console();
    std::vector<std::string> files;
    bool options_done = false;
    for (const std::string& argument : korvalen::CommandLineArguments(argc, argv)) {
        const std::string_view arg = argument;
        if (!options_done && (arg == "-h" || arg == "--help")) {
            std::cout << kUsage << kHelp;
            return 0;
        }
        if (!options_done && arg == "--version") {
            std::cout << korvalen::VersionLine("korvalen-inspect") << '\n';
            return 0;
        }
        if (!options_done && arg == "--") {
            options_done = true;
        } else if (!options_done && arg.size() > 1 && arg[0] == '-') {
            std::cerr << "korvalen-inspect: unknown option " << arg
                      << " (try korvalen-inspect --help)\n";
            return 2;
        } else {
            files.emplace_back(arg);
        }
    }
    if (files.empty()) {
        std::cerr << kUsage << "(try korvalen-inspect --help)\n";
        return 2;
    }
    bool all_read = true;
    for (const std::string& file : files)
        all_read = Inspect(file, files.size() > 1) && all_read;
    return all_read ? 0 : 1;
}

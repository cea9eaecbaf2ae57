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

namespace {

constexpr std::string_view kVersion = "korvalen-inspect 1.4.0";
constexpr std::string_view kUsage = "Usage: korvalen-inspect FILE...\n";
constexpr std::string_view kHelp =
    "Prints every record of the given message files, one line each: offset, object,\n"
    "time, flags (with the last-record mark), longitude, latitude, course, speed and text.\n"
    "A damaged file is reported with the offset of its first bad record.\n"
    "\n"
    "  -h, --help     show this help\n"
    "      --version  show the version\n"
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
            std::cout << kVersion << '\n';
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

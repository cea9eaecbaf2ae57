// korvalen-decode: the decoding pass without a window, for archives and batch work.
// Decodes dump files into message files (and CSV files) in an InBox folder and prints
// the summary that the window would show in its log list.

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "decode/decoding_pass.h"
#include "output/staged_delivery.h"
#include "platform/console.h"
#include "platform/file.h"
#include "platform/fixed_clock.h"
#include "platform/manual_reset_event.h"
#include "platform/string_printf.h"
#include "platform/system_error.h"
#include "settings/settings.h"
#include "tools/command_line.h"
#include "tools/console_front.h"
#include "tools/version_line.h"

namespace korvalen {
namespace {

constexpr std::string_view kTool = "korvalen-decode";
constexpr std::string_view kHelp =
    R"(Usage: korvalen-decode [OPTIONS] DUMP...
Decodes logger dump files (*.trc) into dispatcher message files, as the program's
"Декодировать файл" does, and prints the summary of each dump as the program's log list
shows it, top line first.

Output:
  -o, --inbox DIR      output folder (default: InBox/ in the current folder), created
                       when missing
      --csv-c          also write the "C" CSV files (012C.csv for object 12)
      --csv-n          also write the "N" CSV files (012N.csv)
      --gpx            also write each object's route as a GPX 1.1 track (0012.gpx)
      --kml            also write each object's route as a KML 2.2 document (0012.kml)
      --map-dir DIR    folder of the GPX and KML files (default: the output folder),
                       created when missing

Decoding, as the program's settings:
      --settings FILE  start from the settings of a Korvalen.ini; options override them
      --use-2d         use 2D fixes as positions
      --global-id N    name every message file with the number N
      --ignition INn:S ignition indicator: input n (1-3) reads S (0 open, 1 closed)
                       when the ignition is on
      --assign-id NNNN give records without ID the ID NNNN (without it they are skipped)
      --no-reset-alarm do not count logger power-ons

  -h, --help           show this help
      --version        show the version and the revision

Files, per object: a message file DDhhmmss.012 (the day and local time of the decoding,
the object or the --global-id number); the CSV files, which grow from run to run; the
map files 0012.gpx and 0012.kml (0012_001.gpx and so on when the name is taken) for an
object with at least one position. A map holds the positions that the message file
gets, in the same order, each at the UTC time of its fix (the dump's local times taken
in this machine's time zone: set TZ for another zone's dumps), and the logger's
power-ons and, with --ignition, the changes of the ignition as waypoints (placemarks).

Environment: KORVALEN_FROZEN_TIME="YYYY-MM-DD hh:mm:ss" stops the clock at that local
time: the message-file names, the decoding time in their records and the summary's date
line come out the same on every run (for reference outputs). A value that is no such
time is a usage error.

Messages go to standard error. Exit status: 0 when every dump was decoded and every
record and map file written; 1 when a dump could not be opened (a folder, a missing or
unreadable file: the reason follows the message); 3 when records or map files could not
be written (a full disk, an output folder that cannot be written: the messages say
which files, the last line on standard error how many records); 2 for a usage error;
130 when interrupted (Ctrl+C stops the pass cleanly: the files written so far are
closed and complete).
)";

// Dumps from this size on get a progress bar when standard error is a terminal.
constexpr std::int64_t kProgressBarMinimumSize = std::int64_t{4} * 1024 * 1024;

// The console as the passes' operator: messages and the question (with the answer the
// command line gave) go to standard error, and so does a progress bar for a large dump.
class ConsoleOperator final : public Operator, public PassProgress {
  public:
    explicit ConsoleOperator(std::optional<std::string> assigned_id)
        : assigned_id_(std::move(assigned_id)) {}

    void StartDump(std::int64_t size) {
        show_progress_ = size >= kProgressBarMinimumSize;
        drawn_percent_ = -1;
    }
    // The pass has ended: its bar goes, its summary follows, top line first.
    void EndDump(const DecodingPass& pass, bool opened) {
        progress_.Erase();
        if (opened) {
            for (const std::string& line : FormatPassSummary(pass.outcome()))
                std::cout << line << '\n';
        }
        std::cout.flush();
    }

    void ShowMessage(std::string_view text, std::string_view, MessageIcon) override {
        progress_.Erase();
        std::cerr << text << '\n';
    }
    bool AskYesNo(std::string_view question) override {
        progress_.Erase();
        std::cerr << question << ' ' << (assigned_id_ ? "Да" : "Нет") << '\n';
        return assigned_id_.has_value();
    }
    std::string PromptObjectId() override { return assigned_id_.value_or("0000"); }

    void Advanced(std::int64_t bytes_read, std::int64_t length) override {
        if (!show_progress_ || length <= 0)
            return;
        const int percent = static_cast<int>(std::min<long long>(100, 100LL * bytes_read / length));
        if (percent == drawn_percent_)
            return;
        drawn_percent_ = percent;
        const int filled = percent * 40 / 100;
        progress_.Draw(
            StringPrintf("[%s%s] %3d%%", std::string(static_cast<std::size_t>(filled), '#').c_str(),
                         std::string(static_cast<std::size_t>(40 - filled), ' ').c_str(), percent));
    }

  private:
    std::optional<std::string> assigned_id_;
    ProgressLine progress_;
    bool show_progress_ = false;
    int drawn_percent_ = -1;
};

// Set at the first Ctrl+C, which stops the running pass as the window's abort button
// does: every route still writes its last record and closes its files, the summary says
// "(прервано)", and the dumps not yet begun are skipped. Shared with the thread that
// watches for the interrupt, as long as either needs it.
struct Interrupt {
    std::atomic<bool> happened{false};
    ManualResetEvent abort;
};

struct CommandLine {
    std::optional<std::string> settings_file;
    std::optional<std::string> inbox;
    bool use_2d = false;
    std::optional<std::int32_t> global_id;
    std::optional<std::pair<std::int32_t, std::int32_t>> ignition;  // input index, status
    std::optional<std::string> assigned_id;
    bool csv_c = false;
    bool csv_n = false;
    bool no_reset_alarm = false;
    bool gpx = false;
    bool kml = false;
    std::optional<std::string> map_dir;
    std::vector<std::string> dumps;
};

// "IN2:1" → {1, 1}.
std::optional<std::pair<std::int32_t, std::int32_t>> ParseIgnition(std::string_view text) {
    if (text.size() != 5 || text.substr(0, 2) != "IN" || text[3] != ':')
        return std::nullopt;
    if (text[2] < '1' || text[2] > '3' || (text[4] != '0' && text[4] != '1'))
        return std::nullopt;
    return std::pair<std::int32_t, std::int32_t>{text[2] - '1', text[4] - '0'};
}

// Returns false when the program is to end at once with status 0 (--help, --version).
bool ParseCommandLine(const std::vector<std::string>& arguments, CommandLine& out) {
    bool options_ended = false;
    CommandLineCursor cursor(arguments);
    while (cursor.Next()) {
        const std::string& given = cursor.arg();
        if (options_ended || given.empty() || given[0] != '-' || given == "-") {
            out.dumps.push_back(given);
            continue;
        }
        if (given == "--") {
            options_ended = true;
            continue;
        }
        const std::string arg = cursor.TakeAsOption();
        if (arg == "-h" || arg == "--help") {
            std::cout << kHelp;
            return false;
        } else if (arg == "--version") {
            std::cout << VersionLine("korvalen-decode") << '\n';
            return false;
        } else if (arg == "-o" || arg == "--inbox") {
            out.inbox = cursor.Value();
            if (out.inbox->empty())
                throw UsageError{"the output folder must not be empty"};
        } else if (arg == "--use-2d") {
            cursor.NoValue();
            out.use_2d = true;
        } else if (arg == "--global-id") {
            const std::string n = cursor.Value();
            if (!IsDigits(n) || n.size() > 9)
                throw UsageError{"--global-id needs a number, not '" + n + "'"};
            out.global_id = std::stoi(n);
        } else if (arg == "--ignition") {
            const std::string text = cursor.Value();
            out.ignition = ParseIgnition(text);
            if (!out.ignition)
                throw UsageError{"--ignition needs INn:S with n 1-3 and S 0 or 1, not '" + text +
                                 "'"};
        } else if (arg == "--assign-id") {
            const std::string id = cursor.Value();
            if (id.size() != 4 || !IsDigits(id))
                throw UsageError{"--assign-id needs four digits, not '" + id + "'"};
            out.assigned_id = id;
        } else if (arg == "--csv-c") {
            cursor.NoValue();
            out.csv_c = true;
        } else if (arg == "--csv-n") {
            cursor.NoValue();
            out.csv_n = true;
        } else if (arg == "--no-reset-alarm") {
            cursor.NoValue();
            out.no_reset_alarm = true;
        } else if (arg == "--gpx") {
            cursor.NoValue();
            out.gpx = true;
        } else if (arg == "--kml") {
            cursor.NoValue();
            out.kml = true;
        } else if (arg == "--map-dir") {
            out.map_dir = cursor.Value();
            if (out.map_dir->empty())
                throw UsageError{"the map folder must not be empty"};
        } else if (arg == "--settings") {
            out.settings_file = cursor.Value();
        } else {
            throw UsageError{"unknown option " + arg};
        }
    }
    if (out.map_dir && !out.gpx && !out.kml)
        throw UsageError{"--map-dir needs --gpx or --kml"};
    if (out.dumps.empty())
        throw UsageError{"no dump file given"};
    return true;
}

int Main(const std::vector<std::string>& arguments) {
    CommandLine command;
    try {
        if (!ParseCommandLine(arguments, command))
            return 0;
    } catch (const UsageError& e) {
        return UsageFault(kTool, e.text);
    }
    std::string error;
    const Clock* clock = ToolClock(error);
    if (!clock) {
        PrintFault(kTool, error);
        return 2;
    }
    std::optional<Settings> chosen =
        LoadSettings({.settings_file = command.settings_file, .inbox = command.inbox}, error);
    if (!chosen)
        return UsageFault(kTool, error);
    Settings& settings = *chosen;
    if (command.use_2d)
        settings.Use2D = true;
    if (command.global_id) {
        settings.UseGlobalID = true;
        settings.GlobalID = *command.global_id;
    }
    if (command.ignition) {
        settings.IndInChk = true;
        settings.IndInNum = command.ignition->first;
        settings.IndInStatus = command.ignition->second;
    }
    if (command.csv_c)
        settings.WriteCsvC = true;
    if (command.csv_n)
        settings.WriteCsvN = true;
    if (command.no_reset_alarm)
        settings.ResetAlarm = false;
    settings.WriteGpx = command.gpx;
    settings.WriteKml = command.kml;
    if (command.map_dir)
        settings.MapDir = AsFolder(*command.map_dir);
    for (const std::string& folder : {settings.InboxDir, settings.MapDir}) {
        if (!folder.empty() && CreateFolders(folder) != 0) {
            // The passes report every file they cannot create; this says why.
            PrintFault(kTool, "cannot create the folder '" + folder + "'");
        }
    }

    // What a run killed before its moves left: its staged files go and its CSV lines are
    // taken back, so that decoding the same dumps again gives each line once.
    for (const std::string& kept : SweepStagingFolders(settings.InboxDir).csv_kept) {
        PrintFault(kTool, "the CSV file '" + kept +
                              "' of an earlier run could not be cut back: its lines may come "
                              "twice");
    }

    AllowManyOpenFiles();
    const auto interrupt = std::make_shared<Interrupt>();
    WatchInterrupts([interrupt] {
        interrupt->happened = true;
        interrupt->abort.Set();
    });
    ConsoleOperator console(command.assigned_id);
    bool unopened = false;
    long long unwritten = 0;
    bool failed_maps = false;
    for (const std::string& dump : command.dumps) {
        if (interrupt->happened)
            break;
        std::error_code error;
        const auto size = std::filesystem::file_size(std::filesystem::u8path(dump), error);
        console.StartDump(error ? 0 : static_cast<std::int64_t>(size));
        DecodingPass pass(settings, dump, console, *clock);
        pass.set_abort(&interrupt->abort);
        pass.set_progress(&console);
        const bool opened = pass.Run();
        console.EndDump(pass, opened);
        if (!opened) {
            unopened = true;
            PrintFault(kTool, dump + ": " + SystemErrorText(pass.open_error()));
        }
        unwritten += pass.unwritten_record_count();
        if (pass.failed_map_count() > 0)
            failed_maps = true;
    }
    // A script must be able to tell that output was lost, not only a person reading.
    if (unwritten > 0)
        PrintFault(kTool, std::to_string(unwritten) + " records could not be written");
    if (interrupt->happened)
        return 130;
    return unopened ? 1 : unwritten > 0 || failed_maps ? 3 : 0;
}

}  // namespace
}  // namespace korvalen

int main(int argc, char** argv) {
    korvalen::UseUtf8Console();
    return korvalen::Main(korvalen::CommandLineArguments(argc, argv));
}

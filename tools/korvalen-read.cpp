// korvalen-read: the whole road from a reader to the InBox without a window, for stations
// that read loggers unattended and for engineers who read a reader from a terminal. The
// capture, the acknowledgement, the pass, the delivery, the journal, the archive and the
// recovery at start are the program's own.

#include <atomic>
#include <chrono>
#include <iostream>
#include <limits>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "platform/console.h"
#include "platform/file.h"
#include "platform/scope_exit.h"
#include "platform/system_error.h"
#include "serial/link_rules.h"
#include "serial/port_connection.h"
#include "serial/port_list.h"
#include "serial/port_open_error.h"
#include "serial/reader_protocol.h"
#include "settings/settings.h"
#include "tools/command_line.h"
#include "tools/console_front.h"
#include "tools/read/console_road.h"
#include "tools/read/given_port.h"
#include "tools/read/read_log_follower.h"
#include "tools/read/run_record.h"
#include "tools/read/service.h"
#include "tools/version_line.h"
#include "worker/decode_jobs.h"

namespace korvalen {
namespace {

using namespace std::chrono_literals;

constexpr std::string_view kTool = "korvalen-read";
constexpr std::string_view kHelp =
    R"help(Usage: korvalen-read [OPTIONS] PORT
       korvalen-read --list
       korvalen-read --install-service [--service-name NAME] [OPTIONS] PORT
       korvalen-read --uninstall-service [--service-name NAME]
Reads the flash of the logger behind a reader on a serial port, as the program's
"Считать новые данные" and "Считать все" do: the transfer goes into a dump file, a
complete transfer of new data is acknowledged ("(SDD)") once the dump is safely on the
disk, and the dump is decoded into message files in the InBox folder, which appear there
whole, each under its final name. PORT is COM9, \\.\COM12, /dev/ttyUSB0,
/dev/serial/by-id/... or a pseudo-terminal; on Windows also the device behind a port
as --list shows it (its name, or VENDOR:PRODUCT[:SERIAL]), which --wait follows to
another COM number when the adapter is plugged into another socket.

What to read (one of the three):
      --new            ask the reader for the new data, "(QND)" (the default); the
                       reader has 15 s to begin its answer
      --all            ask for the whole flash, "(QAD)"; such a transfer is never
                       acknowledged, so the new data stay new
      --wait           ask for nothing: read every transfer the reader starts (its
                       button) until stopped; standard error says when the port is
                       open and it waits. An adapter pulled out is waited for: the
                       port is tried again every 2 s until it opens (without --wait
                       a lost port ends the run)
      --count N        with --wait: end after N transfers, empty and cut ones included
      --list           print the serial ports the system has, one a line: the name to
                       give as PORT, then the system's name of the device and (on
                       Windows) its VENDOR:PRODUCT[:SERIAL]

Where:
      --settings FILE  the program's Korvalen.ini: the InBox folder and the decoding
                       settings (one number for all files, 2D fixes, the ignition
                       input); its port and dump file are not used. The options below
                       override it
  -o, --inbox DIR      the InBox folder, created when missing (default: InBox/ in the
                       current folder)
      --data DIR       the dumps, their archive (DIR/Archive/), the journal of the
                       dumps not yet delivered and the read log (DIR/Korvalen.log);
                       default: Data/ beside the settings file, or in the current folder
      --assign-id NNNN give records without ID the ID NNNN (without it they are skipped)

A station on Windows is a service (both need an administrator; on Linux it is the
systemd unit korvalen-read@.service):
      --install-service  install a service that runs korvalen-read --wait with the
                       options given: it starts with the system with nobody logged
                       in, is started again 10 s after a failure, and a stop (sc stop,
                       the Services window, the system's shutdown) ends a transfer as
                       Ctrl+C does. Unless --data, --inbox or --settings say otherwise,
                       its data folder is C:\ProgramData\Korvalen\Data\NAME\ and its
                       InBox C:\ProgramData\Korvalen\InBox\, which every service of
                       the machine shares. What it prints goes into its read log
                       (Korvalen.log of the data folder); its starts, stops and
                       failures also into the event log (Application, source NAME)
      --uninstall-service  stop the service, a transfer under way delivered, and
                       remove it; its folders stay
      --service-name NAME  the service's name (default korvalen-read): one service
                       per reader, each with its own name

  -h, --help           show this help
      --version        show the version and the revision

At the start every dump that an earlier run (of this tool or of the program, with the
same data folder) did not deliver is finished first. On a terminal each transfer shows a
progress line on standard error; the summary of each pass follows on standard output as
the program's log list shows it, top line first. When standard output is no terminal the
read log's lines (each transfer, each pass, each recovery) are printed there as well.
Messages go to standard error.

Ctrl+C, SIGTERM, a hang-up of the terminal (on Windows: the console window closing, the
user logging off, the system shutting down) during a transfer stops it as the program's
abort button does: the reader is told to stop, the part received is decoded, nothing is
acknowledged, and the status is 130. Between transfers the tool ends at once. A second
Ctrl+C ends it without waiting; what it leaves is finished at the next start.

Exit status, the first that applies when several do:
  130  interrupted
    1  the port could not be opened, or a dump could not be created or written whole
       (the reason follows; nothing was acknowledged)
    3  records or files could not be written (a full disk, an InBox that cannot be
       written): the dump is decoded again at the next start
    4  a transfer ended short of its announced size, or the reader did not answer
       (the last line says how many); an empty transfer means nothing new
    0  every transfer read, acknowledged where due, and delivered
    2  a usage error, or a settings file that cannot be read; for a service: no
       right to install or remove it, its name taken, or no service of that name
)help";

// How long a read of new or all data waits for the reader to begin its answer.
constexpr auto kAnswerTimeout = 15s;
// How long a stopped transfer may take to fall silent: the capture ends 0.5 s after the
// last byte. Within the grace the system gives a console that closes.
constexpr auto kStopTimeout = 3s;

enum class Mode { New, All, Wait };

struct CommandLine {
    Mode mode = Mode::New;
    std::optional<int> count;
    bool list = false;
    std::optional<std::string> settings_file;
    std::optional<std::string> inbox;
    std::optional<std::string> data;
    std::optional<std::string> assigned_id;
    std::string port;
};

// Returns false when the program is to end at once with status 0 (--help, --version).
bool ParseCommandLine(const std::vector<std::string>& arguments, CommandLine& out) {
    std::vector<std::string> ports;
    std::optional<std::string> mode_option;
    CommandLineCursor cursor(arguments);
    while (cursor.Next()) {
        if (cursor.arg().empty() || cursor.arg()[0] != '-') {
            ports.push_back(cursor.arg());
            continue;
        }
        const std::string arg = cursor.TakeAsOption();
        if (arg == "-h" || arg == "--help") {
            std::cout << kHelp;
            return false;
        } else if (arg == "--version") {
            std::cout << VersionLine("korvalen-read") << '\n';
            return false;
        } else if (arg == "--new" || arg == "--all" || arg == "--wait") {
            cursor.NoValue();
            if (mode_option && *mode_option != arg)
                throw UsageError{*mode_option + " and " + arg + " exclude each other"};
            mode_option = arg;
            out.mode = arg == "--new" ? Mode::New : arg == "--all" ? Mode::All : Mode::Wait;
        } else if (arg == "--count") {
            const std::string n = cursor.Value();
            if (!IsDigits(n) || n.size() > 6 || std::stoi(n) == 0)
                throw UsageError{"--count needs a number above 0, not '" + n + "'"};
            out.count = std::stoi(n);
        } else if (arg == "--list") {
            cursor.NoValue();
            out.list = true;
        } else if (arg == "--settings") {
            out.settings_file = cursor.Value();
        } else if (arg == "-o" || arg == "--inbox") {
            out.inbox = cursor.Value();
            if (out.inbox->empty())
                throw UsageError{"the InBox folder must not be empty"};
        } else if (arg == "--data") {
            out.data = cursor.Value();
            if (out.data->empty())
                throw UsageError{"the data folder must not be empty"};
        } else if (arg == "--assign-id") {
            const std::string id = cursor.Value();
            if (id.size() != 4 || !IsDigits(id))
                throw UsageError{"--assign-id needs four digits, not '" + id + "'"};
            out.assigned_id = id;
        } else {
            throw UsageError{"unknown option " + arg};
        }
    }
    if (out.list) {
        if (!ports.empty() || mode_option || out.count)
            throw UsageError{"--list takes no port and no reading option"};
        return true;
    }
    if (out.count && out.mode != Mode::Wait)
        throw UsageError{"--count needs --wait"};
    if (ports.size() != 1)
        throw UsageError{ports.empty() ? "no port given" : "more than one port given"};
    out.port = ports[0];
    return true;
}

// The interrupts of a run (Ctrl+C, a stop of the service): heard on the thread that
// watches for them, read on the run's. It lives as long as either needs it.
class Interrupts {
  public:
    static std::shared_ptr<Interrupts> Watch() {
        auto interrupts = std::make_shared<Interrupts>();
        WatchInterrupts([interrupts] {
            interrupts->happened_ = true;
            std::lock_guard lock(interrupts->mutex_);
            if (interrupts->record_)
                interrupts->record_->Wake();
        });
        return interrupts;
    }

    bool happened() const { return happened_.load(); }
    // The record woken at an interrupt, so that whoever waits on it looks again; null
    // before it is made and once it goes.
    void WakeOnInterrupt(RunRecord* record) {
        std::lock_guard lock(mutex_);
        record_ = record;
    }

  private:
    std::atomic<bool> happened_{false};
    std::mutex mutex_;
    RunRecord* record_ = nullptr;  // guarded by mutex_
};

int ListPorts() {
    for (const SystemSerialPort& port : ListSerialPorts()) {
        const std::string ids = UsbIds(port.identity);
        std::cout << port.device << (port.name.empty() ? "" : "  " + port.name)
                  << (ids.empty() ? "" : "  " + ids) << '\n';
    }
    std::cout << PortNamesThatFollowTheAdapter() << '\n';
    return 0;
}

// How the reading part of a run ended.
enum class ReadEnd { Done, Interrupted, NoAnswer, DumpUnopened, PortLost };

// The adapter was pulled out under --wait: the port is closed and tried again every two
// seconds until the adapter is back (or the run is stopped), under another number when
// the port was given by its device. False when stopped.
bool AwaitPortBack(const CommandLine& command, const Interrupts& interrupts, GivenPort& port,
                   PortConnection& connection, RunRecord& record) {
    PrintFault(kTool, "the link to " + command.port + " was lost; waiting for it to come back");
    connection.Close();
    const Clock& clock = SystemClock();
    ReopenSchedule schedule;
    schedule.Lost(clock.TickCountMs());
    std::string several_told;
    while (!interrupts.happened()) {
        if (schedule.Due(clock.TickCountMs())) {
            const std::string was = port.device();
            bool moved = false;
            std::string several;
            const bool found =
                port.Follow(port.follows() ? ListSerialPorts() : std::vector<SystemSerialPort>(),
                            moved, several);
            if (!found && several != several_told) {
                PrintFault(kTool, "the adapter of " + command.port + " is on " + several +
                                      " alike; none is tried");
            }
            several_told = several;
            if (found && connection.Open(port.device())) {
                if (moved) {
                    PrintFault(kTool, "the adapter of " + command.port + " is on " + port.device() +
                                          " now (was " + was + ")");
                }
                PrintFault(kTool, command.port + " is back; waiting for the reader's transfers");
                return true;
            }
            schedule.Failed(clock.TickCountMs());
        }
        record.WaitForNews(100ms);
    }
    return false;
}

// Waits for the transfers the command asked for: the one that "(QND)" or "(QAD)" starts
// (a transfer that has begun runs to its end, however long), or under --wait every one
// the reader starts, up to --count. Wakes at every capture's and job's end and every
// interrupt, and once a second to pass on the read log's lines.
ReadEnd AwaitTransfers(const CommandLine& command, const Interrupts& interrupts, RunRecord& record,
                       const WorkState& work, ConsoleRoad& road, GivenPort& port,
                       PortConnection& connection) {
    const int wanted =
        command.mode == Mode::Wait ? command.count.value_or(std::numeric_limits<int>::max()) : 1;
    const auto answer_deadline = std::chrono::steady_clock::now() + kAnswerTimeout;
    for (;;) {
        if (interrupts.happened())
            return ReadEnd::Interrupted;
        if (record.dump_unopened())
            return ReadEnd::DumpUnopened;
        if (record.transfers() >= wanted)
            return ReadEnd::Done;
        // A station waits for its adapter; a single read ends with the link.
        if (record.TakePortLost()) {
            if (command.mode != Mode::Wait)
                return ReadEnd::PortLost;
            if (!AwaitPortBack(command, interrupts, port, connection, record))
                return ReadEnd::Interrupted;
        }
        if (command.mode != Mode::Wait && record.transfers() == 0 && !work.capture_active &&
            std::chrono::steady_clock::now() >= answer_deadline)
            return ReadEnd::NoAnswer;
        record.WaitForNews(1s);
        road.PrintJournalLines();
    }
}

// As the window's abort button: "(SSS)", both control lines off for a moment and on
// again; the capture ends once the line is silent, and the part received is decoded
// without acknowledgement. A capture that does not end in time is left to the next start,
// which decodes it.
void StopTransfer(PortConnection& connection, RunRecord& record, const WorkState& work) {
    connection.StopTransfer(
        [](std::chrono::milliseconds pause) { std::this_thread::sleep_for(pause); });
    const auto deadline = std::chrono::steady_clock::now() + kStopTimeout;
    while (work.capture_active && std::chrono::steady_clock::now() < deadline)
        record.WaitForNews(100ms);
}

// The last lines on standard error say what went wrong; a cut transfer's count is last.
void PrintEnding(const CommandLine& command, ReadEnd end, const RunOutcome& outcome,
                 int failed_jobs) {
    if (end == ReadEnd::DumpUnopened)
        PrintFault(kTool, "no dump file could be created: nothing was read");
    else if (outcome.dump_failed)
        PrintFault(kTool, "a dump could not be written whole: it was not acknowledged");
    if (failed_jobs > 0) {
        PrintFault(kTool, std::to_string(failed_jobs) +
                              " pass(es) could not write every file (the messages above say "
                              "which)");
    }
    if (end == ReadEnd::NoAnswer) {
        PrintFault(kTool, "the reader on " + command.port + " did not answer");
    }
    if (end == ReadEnd::PortLost)
        PrintFault(kTool, "the link to " + command.port + " was lost");
    if (outcome.cut > 0)
        PrintFault(kTool, std::to_string(outcome.cut) + " transfer(s) ended short of their size");
}

// Where a run reads into: its settings (the InBox among them, the dump file in the data
// folder) and its data folder, both made, their names on the disk, so that neither is
// lost with a power cut once a transfer has been acknowledged into them. One that
// cannot be made says so later: the data folder as a journal that cannot be opened, the
// InBox as the passes' files.
struct Folders {
    Settings settings;
    std::string data;
};

std::optional<Folders> MakeFolders(const CommandLine& command) {
    const SettingsChoice choice{.settings_file = command.settings_file, .inbox = command.inbox};
    std::string error;
    std::optional<Settings> settings = LoadSettings(choice, error);
    if (!settings) {
        UsageFault(kTool, error);
        return std::nullopt;
    }
    Folders folders{.settings = std::move(*settings), .data = DataFolder(choice, command.data)};
    folders.settings.InFile = folders.data + "Korvalen.trc";
    for (const std::string& folder : {folders.data, folders.settings.InboxDir})
        static_cast<void>(CreateFolders(folder));
    return folders;
}

// The reading part of a run: the port opened, the reader asked (or waited for), the
// transfers awaited, and a transfer under way stopped when the run is interrupted.
// Status 1 and its reason when the port cannot be found or opened.
std::optional<int> ReadTransfers(const CommandLine& command, const Interrupts& interrupts,
                                 DecodeJobs& jobs, ConsoleRoad& road, RunRecord& record,
                                 ReadEnd& end) {
    std::string not_found;
    std::optional<GivenPort> port = GivenPort::Find(
        command.port,
        GivenPort::NamesAPort(command.port) ? std::vector<SystemSerialPort>() : ListSerialPorts(),
        not_found);
    if (!port) {
        PrintFault(kTool, not_found);
        return 1;
    }
    PortConnection connection(jobs);
    end = ReadEnd::Interrupted;
    if (!interrupts.happened()) {
        const std::string named =
            command.port + (port->device() == command.port ? "" : " (" + port->device() + ")");
        if (!connection.Open(port->device())) {
            PrintFault(kTool, "cannot open " + named + ": " +
                                  PortOpenErrorReason(connection.open_error()));
            return 1;
        }
        if (command.mode == Mode::New)
            connection.SendCommand(kQueryNewData);
        else if (command.mode == Mode::All)
            connection.SendCommand(kQueryAllData);
        else
            PrintFault(kTool, "waiting for the reader's transfers on " + named);
        end = AwaitTransfers(command, interrupts, record, jobs.work(), road, *port, connection);

        // A transfer runs, or one that was asked for may be starting: the reader is
        // stopped. Between transfers the run ends at once.
        const bool asked_for = command.mode != Mode::Wait && record.transfers() == 0;
        if ((end == ReadEnd::Interrupted && (jobs.work().capture_active || asked_for)) ||
            end == ReadEnd::DumpUnopened)
            StopTransfer(connection, record, jobs.work());
    }
    // No capture can begin once the reading thread has ended.
    connection.StopReading();
    const auto reader_deadline = std::chrono::steady_clock::now() + 2s;
    while (connection.reader_running() && std::chrono::steady_clock::now() < reader_deadline)
        std::this_thread::sleep_for(10ms);
    return std::nullopt;
}

int Main(const std::vector<std::string>& arguments) {
    CommandLine command;
    try {
        if (!ParseCommandLine(arguments, command))
            return 0;
    } catch (const UsageError& e) {
        return UsageFault(kTool, e.text);
    }
    if (command.list)
        return ListPorts();
    const std::optional<Folders> folders = MakeFolders(command);
    if (!folders)
        return 2;
    // Under a service the read log takes what the run prints, and has its own lines.
    const bool printing_into_read_log = PrintIntoReadLogUnderService(folders->data);
    AllowManyOpenFiles();
    const std::shared_ptr<Interrupts> interrupts = Interrupts::Watch();

    // Built before the job owner, whose threads tell them until it has gone.
    std::optional<ReadLogFollower> journal_lines;
    if (!StandardOutputIsTerminal() && !printing_into_read_log)
        journal_lines.emplace(folders->data + "Korvalen.log", folders->data + "Korvalen.1.log");
    RunRecord record;
    interrupts->WakeOnInterrupt(&record);
    const ScopeExit forget_record([&interrupts] { interrupts->WakeOnInterrupt(nullptr); });
    ConsoleRoad road(record, command.assigned_id, command.port,
                     journal_lines ? &*journal_lines : nullptr);
    DecodeJobs jobs(folders->data, folders->settings, road, road);
    // A dump that cannot be journalled could never be acknowledged: the reader would
    // offer the same data again at every read.
    if (!jobs.journal().is_open()) {
        PrintFault(kTool, "cannot write in the data folder '" + folders->data + "'");
        return 1;
    }
    // What an earlier run left is delivered before anything new is read.
    jobs.Recover();
    jobs.WaitUntilIdle(std::chrono::hours(24));
    road.PrintJournalLines();

    ReadEnd end = ReadEnd::Interrupted;
    if (const std::optional<int> failed =
            ReadTransfers(command, *interrupts, jobs, road, record, end)) {
        return *failed;
    }
    jobs.WaitUntilIdle(std::chrono::hours(24));
    road.PrintJournalLines();

    RunOutcome outcome = record.outcome();
    outcome.interrupted = interrupts->happened();
    // A reader that never answered, or whose line went before its transfer ended: the
    // transfer did not come whole.
    if (end == ReadEnd::NoAnswer || (end == ReadEnd::PortLost && outcome.cut == 0))
        ++outcome.cut;
    PrintEnding(command, end, outcome, record.failed_jobs());
    return ExitStatus(outcome);
}

}  // namespace
}  // namespace korvalen

int main(int argc, char** argv) {
    korvalen::UseUtf8Console();
    const std::vector<std::string> arguments = korvalen::CommandLineArguments(argc, argv);
    if (const std::optional<int> status = korvalen::RunServiceCommand(arguments, korvalen::Main))
        return *status;
    return korvalen::Main(arguments);
}

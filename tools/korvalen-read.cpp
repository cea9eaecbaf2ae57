// korvalen-read: the whole road from a reader to the InBox without a window, for stations
// that read loggers unattended and for engineers who read a reader from a terminal. The
// capture, the acknowledgement, the pass, the delivery, the journal, the archive and the
// recovery at start are the program's own.

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <iostream>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "platform/console.h"
#include "platform/file.h"
#include "platform/string_printf.h"
#include "platform/system_error.h"
#include "serial/port_connection.h"
#include "serial/port_list.h"
#include "serial/port_open_error.h"
#include "serial/reader_protocol.h"
#include "settings/settings.h"
#include "settings/settings_file.h"
#include "tools/version_line.h"
#include "worker/decode_jobs.h"

namespace korvalen {
namespace {

using namespace std::chrono_literals;

constexpr std::string_view kUsageHint = "Try 'korvalen-read --help'.";
constexpr std::string_view kHelp =
    R"help(Usage: korvalen-read [OPTIONS] PORT
       korvalen-read --list
Reads the flash of the logger behind a reader on a serial port, as the program's
"Считать новые данные" and "Считать все" do: the transfer goes into a dump file, a
complete transfer of new data is acknowledged once the dump is safely on the disk, and
the dump is decoded into message files in the InBox folder. PORT is COM9, \\.\COM12,
/dev/ttyUSB0, /dev/serial/by-id/... or a pseudo-terminal.

What to read:
      --new            ask for the new data ("(QND)"; the default)
      --all            ask for the whole flash ("(QAD)"; never acknowledged)
      --wait           ask for nothing: read every transfer the reader starts (its
                       button) until stopped
      --count N        with --wait: end after N transfers
      --list           print the serial ports the system has, with their devices

Where:
      --settings FILE  the program's Korvalen.ini: the InBox folder and the decoding
                       settings; the options below override it
  -o, --inbox DIR      the InBox folder, created when missing (default: InBox/ in the
                       current folder)
      --data DIR       dumps, their archive (DIR/Archive/), the journal and the read log
                       (DIR/Korvalen.log); default: Data/ beside the settings file, or in
                       the current folder
      --assign-id NNNN give records without ID the ID NNNN (without it they are skipped)

  -h, --help           show this help
      --version        show the version and the revision

At the start every dump that an earlier run (of this tool or of the program, with the
same data folder) did not deliver is finished first. On a terminal each transfer shows a
progress line; the summary of each pass follows as the program's log list shows it, top
line first. Elsewhere only the summaries and the read log's lines are printed. Messages
go to standard error.

Ctrl+C (or SIGTERM) during a transfer stops it as the program's abort button does: the
reader is told to stop, the part received is decoded and nothing is acknowledged;
between transfers the tool ends at once.

Exit status: 0 every transfer was read, acknowledged where due and delivered; 1 the port
could not be opened or a dump could not be written (the reason follows); 2 a usage
error; 3 records or files could not be written; 4 a transfer ended short of its
announced size, or the reader did not answer (the last line says how many); 130
interrupted.
)help";

// How long a read waits for the reader to begin its answer.
constexpr auto kAnswerTimeout = 15s;

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

struct UsageError {
    std::string text;
};

bool IsDigits(std::string_view text) {
    return !text.empty() && std::all_of(text.begin(), text.end(),
                                        [](char c) { return c >= '0' && c <= '9'; });
}

// Returns false when the program is to end at once with status 0 (--help, --version).
bool ParseCommandLine(const std::vector<std::string>& arguments, CommandLine& out) {
    std::vector<std::string> ports;
    int modes = 0;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        std::string arg = arguments[i];
        if (arg.empty() || arg[0] != '-') {
            ports.push_back(arg);
            continue;
        }
        std::optional<std::string> inline_value;
        if (arg.rfind("--", 0) == 0) {
            const std::size_t equals = arg.find('=');
            if (equals != std::string::npos) {
                inline_value = arg.substr(equals + 1);
                arg.resize(equals);
            }
        }
        const auto value = [&]() -> std::string {
            if (inline_value)
                return *inline_value;
            if (i + 1 >= arguments.size())
                throw UsageError{"option " + arg + " needs a value"};
            return arguments[++i];
        };
        const auto no_value = [&] {
            if (inline_value)
                throw UsageError{"option " + arg + " takes no value"};
        };
        if (arg == "-h" || arg == "--help") {
            std::cout << kHelp;
            return false;
        } else if (arg == "--version") {
            std::cout << VersionLine("korvalen-read") << '\n';
            return false;
        } else if (arg == "--new" || arg == "--all" || arg == "--wait") {
            no_value();
            out.mode = arg == "--new" ? Mode::New : arg == "--all" ? Mode::All : Mode::Wait;
            ++modes;
        } else if (arg == "--count") {
            const std::string n = value();
            if (!IsDigits(n) || n.size() > 6 || std::stoi(n) == 0)
                throw UsageError{"--count needs a number above 0, not '" + n + "'"};
            out.count = std::stoi(n);
        } else if (arg == "--list") {
            no_value();
            out.list = true;
        } else if (arg == "--settings") {
            out.settings_file = value();
        } else if (arg == "-o" || arg == "--inbox") {
            out.inbox = value();
            if (out.inbox->empty())
                throw UsageError{"the InBox folder must not be empty"};
        } else if (arg == "--data") {
            out.data = value();
            if (out.data->empty())
                throw UsageError{"the data folder must not be empty"};
        } else if (arg == "--assign-id") {
            const std::string id = value();
            if (id.size() != 4 || !IsDigits(id))
                throw UsageError{"--assign-id needs four digits, not '" + id + "'"};
            out.assigned_id = id;
        } else {
            throw UsageError{"unknown option " + arg};
        }
    }
    if (out.list) {
        if (!ports.empty() || modes > 0)
            throw UsageError{"--list takes no port and no reading option"};
        return true;
    }
    if (modes > 1)
        throw UsageError{"--new, --all and --wait exclude each other"};
    if (out.count && out.mode != Mode::Wait)
        throw UsageError{"--count needs --wait"};
    if (ports.size() != 1)
        throw UsageError{ports.empty() ? "no port given" : "more than one port given"};
    out.port = ports[0];
    return true;
}

std::string AsFolder(std::string folder) {
    if (folder.back() != '/' && folder.back() != '\\')
        folder += FolderSeparator();
    return folder;
}

// The console stands in for the window. Every pass writes its summary from its own thread;
// the lines are kept per thread and printed, top line first, when that pass tells the
// window it is done. The progress bar of a transfer becomes a line on a terminal.
class ConsoleHost final : public WorkerHost {
  public:
    ConsoleHost(std::optional<std::string> assigned_id, std::string port)
        : assigned_id_(std::move(assigned_id)),
          port_(std::move(port)),
          terminal_(StandardErrorIsTerminal()) {}

    // The work state of the job owner, which is made with this host: a transfer's
    // progress is drawn while a capture runs.
    void set_work(const WorkState* work) { work_ = work; }

    void ShowMessage(std::string_view text, std::string_view, MessageIcon) override {
        std::lock_guard lock(mutex_);
        EraseProgress();
        std::cerr << text << '\n';
    }
    bool AskYesNo(std::string_view question) override {
        std::lock_guard lock(mutex_);
        EraseProgress();
        std::cerr << question << ' ' << (assigned_id_ ? "Да" : "Нет") << '\n';
        return assigned_id_.has_value();
    }
    std::string PromptObjectId() override { return assigned_id_.value_or("0000"); }

    void InsertLogLineAtTop(std::string_view line) override {
        std::lock_guard lock(mutex_);
        auto& lines = lines_[std::this_thread::get_id()];
        lines.insert(lines.begin(), std::string(line));
    }
    int LogLineCount() override {
        std::lock_guard lock(mutex_);
        return static_cast<int>(lines_[std::this_thread::get_id()].size());
    }

    int ProgressRangeUpper() override { return range_.load(); }
    void SetProgressRange(std::uint16_t upper) override { range_ = upper; }
    void SetProgressPosition(int position) override {
        if (!terminal_ || !work_ || !work_->capture_active)
            return;
        std::lock_guard lock(mutex_);
        const auto now = std::chrono::steady_clock::now();
        if (!transfer_start_) {
            transfer_start_ = now;
            start_position_ = position;
        }
        const int range = range_.load();
        const double seconds = std::chrono::duration<double>(now - *transfer_start_).count();
        const double rate = seconds > 0.5 ? (position - start_position_) / seconds : 0;
        std::string line = StringPrintf("\r%s: %d of %d kB", port_.c_str(), position, range);
        if (rate > 0) {
            line += StringPrintf(", %.1f kB/s", rate);
            if (range > position) {
                const int left = static_cast<int>((range - position) / rate);
                line += StringPrintf(", %d:%02d left", left / 60, left % 60);
            }
        }
        std::fputs((line + "\033[K").c_str(), stderr);
        std::fflush(stderr);
        drawn_ = true;
    }
    void SetActionButtonCaption(std::string_view) override {}
    void SetStatusText(std::string_view) override {}
    // A worker that ends asks for the ready state: a pass has put its summary together.
    void SetUiState(UiState state) override {
        if (state == UiState::Ready)
            PrintLines(std::this_thread::get_id());
    }

    // Lines written outside a pass (the recovery's own) and any left over.
    void PrintAllLines() {
        std::vector<std::thread::id> threads;
        {
            std::lock_guard lock(mutex_);
            for (const auto& [thread, lines] : lines_)
                threads.push_back(thread);
        }
        for (const auto& thread : threads)
            PrintLines(thread);
    }
    // The read log's line of an event, when the output is not a terminal.
    void PrintRecord(const std::string& line) {
        if (terminal_output_)
            return;
        std::lock_guard lock(mutex_);
        std::cout << line << '\n';
        std::cout.flush();
    }
    void TransferEnded() {
        std::lock_guard lock(mutex_);
        EraseProgress();
        transfer_start_.reset();
    }

  private:
    void PrintLines(std::thread::id thread) {
        std::lock_guard lock(mutex_);
        auto found = lines_.find(thread);
        if (found == lines_.end())
            return;
        EraseProgress();
        for (const std::string& line : found->second)
            std::cout << line << '\n';
        std::cout.flush();
        lines_.erase(found);
    }
    void EraseProgress() {
        if (drawn_) {
            std::fputs("\r\033[K", stderr);
            drawn_ = false;
        }
    }

    const std::optional<std::string> assigned_id_;
    const std::string port_;
    const WorkState* work_ = nullptr;
    const bool terminal_;
    const bool terminal_output_ = StandardOutputIsTerminal();
    std::atomic<int> range_{0};
    std::mutex mutex_;
    std::map<std::thread::id, std::vector<std::string>> lines_;  // guarded by mutex_
    std::optional<std::chrono::steady_clock::time_point> transfer_start_;
    int start_position_ = 0;
    bool drawn_ = false;
};

// What happened to the transfers and jobs of the run, for the exit status.
class RunRecord final : public JobListener {
  public:
    explicit RunRecord(ConsoleHost& host) : host_(host) {}

    void CaptureEnded(const CaptureReport& report) override {
        host_.TransferEnded();
        CaptureLine line{.port = report.port,
                         .kind = report.header ? std::string(DumpKindName(*report.header)) : "",
                         .announced = report.announced,
                         .received = report.received,
                         .acknowledgement = report.acknowledgement,
                         .dump = {},
                         .archive = {}};
        host_.PrintRecord(FormatCaptureLine(line));
        {
            std::lock_guard lock(mutex_);
            ++transfers_;
            // An empty transfer (size 0) means nothing new: no fault.
            if (!report.size_met)
                ++cut_;
            if (!report.dump_written)
                dump_failed_ = true;
        }
        changed_.notify_all();
    }
    void JobEnded(const PassLine& outcome, bool opened) override {
        host_.PrintRecord(FormatPassLine(outcome));
        std::lock_guard lock(mutex_);
        if (!opened || !outcome.delivered || outcome.write_errors > 0)
            write_failed_ = true;
    }

    // Until `count` transfers have ended, `stop` says so, or `timeout` passed without one.
    template <typename Stop>
    bool WaitForTransfers(int count, const Stop& stop, std::chrono::milliseconds timeout) {
        std::unique_lock lock(mutex_);
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (transfers_ < count) {
            if (stop() || std::chrono::steady_clock::now() >= deadline)
                return false;
            changed_.wait_for(lock, 50ms);
        }
        return true;
    }
    void Wake() { changed_.notify_all(); }

    int transfers() const {
        std::lock_guard lock(mutex_);
        return transfers_;
    }
    int cut() const {
        std::lock_guard lock(mutex_);
        return cut_;
    }
    bool dump_failed() const {
        std::lock_guard lock(mutex_);
        return dump_failed_;
    }
    bool write_failed() const {
        std::lock_guard lock(mutex_);
        return write_failed_;
    }

  private:
    ConsoleHost& host_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    int transfers_ = 0;  // guarded by mutex_
    int cut_ = 0;
    bool dump_failed_ = false;
    bool write_failed_ = false;
};

std::atomic<bool> interrupted{false};
std::atomic<RunRecord*> run_record{nullptr};

int ListPorts() {
    for (const SystemSerialPort& port : ListSerialPorts())
        std::cout << port.device << (port.name.empty() ? "" : "  " + port.name) << '\n';
    return 0;
}

int Main(const std::vector<std::string>& arguments) {
    CommandLine command;
    try {
        if (!ParseCommandLine(arguments, command))
            return 0;
    } catch (const UsageError& e) {
        std::cerr << "korvalen-read: " << e.text << '\n' << kUsageHint << '\n';
        return 2;
    }
    if (command.list)
        return ListPorts();

    Settings settings;
    ApplyDefaults(settings, ".");
    settings.InboxDir = std::string("InBox") + FolderSeparator();
    std::string data = std::string("Data") + FolderSeparator();
    if (command.settings_file) {
        std::string bytes;
        int code = 0;
        if (!ReadWholeFile(*command.settings_file, bytes, &code)) {
            std::cerr << "korvalen-read: cannot read the settings file '" << *command.settings_file
                      << "' (" << SystemErrorText(code) << ")\n"
                      << kUsageHint << '\n';
            return 2;
        }
        ParseSettingsFile(bytes, settings);
        data = FolderOfPath(*command.settings_file) + data;
    }
    if (command.inbox)
        settings.InboxDir = *command.inbox;
    if (command.data)
        data = *command.data;
    settings.InboxDir = AsFolder(settings.InboxDir);
    data = AsFolder(data);
    settings.InFile = data + "Korvalen.trc";
    if (!CreateFolders(data)) {
        std::cerr << "korvalen-read: cannot create the data folder '" << data << "'\n";
        return 1;
    }
    CreateFolders(settings.InboxDir);

    AllowManyOpenFiles();
    WatchInterrupts([] {
        interrupted = true;
        if (RunRecord* record = run_record.load())
            record->Wake();
    });
    // The host outlives the job owner and the port, which use it.
    ConsoleHost host(command.assigned_id, command.port);
    DecodeJobs jobs(data, settings, host);
    host.set_work(&jobs.work());
    RunRecord record(host);
    run_record = &record;
    jobs.set_listener(&record);

    // What an earlier run left is delivered before anything new is read.
    jobs.Recover();
    jobs.WaitUntilIdle(std::chrono::hours(24));
    host.PrintAllLines();

    PortConnection connection(jobs, host);
    if (!connection.Open(command.port)) {
        std::cerr << "korvalen-read: cannot open " << command.port << ": "
                  << PortOpenErrorReason(connection.open_error()) << '\n';
        return 1;
    }
    if (command.mode == Mode::New)
        connection.SendCommand(kQueryNewData);
    else if (command.mode == Mode::All)
        connection.SendCommand(kQueryAllData);

    const auto stop_requested = [] { return interrupted.load(); };
    bool no_answer = false;
    if (command.mode == Mode::Wait) {
        record.WaitForTransfers(command.count.value_or(INT32_MAX), stop_requested,
                                std::chrono::hours(24 * 365));
    } else {
        // The reader answers within moments; a capture that has begun runs to its end.
        const auto started = std::chrono::steady_clock::now();
        while (!record.WaitForTransfers(1, stop_requested, 100ms) && !interrupted) {
            if (!jobs.work().capture_active &&
                std::chrono::steady_clock::now() - started > kAnswerTimeout) {
                no_answer = true;
                break;
            }
        }
    }
    if (interrupted && jobs.work().capture_active) {
        // As the window's abort button: the reader stops, the capture ends once the line
        // is silent, and the part received is decoded without acknowledgement.
        connection.StopTransfer(
            [](std::chrono::milliseconds pause) { std::this_thread::sleep_for(pause); });
        const int before = record.transfers();
        record.WaitForTransfers(before + 1, [] { return false; }, 30s);
    }
    connection.StopReading();
    jobs.WaitUntilIdle(std::chrono::hours(24));
    host.PrintAllLines();
    run_record = nullptr;

    if (no_answer)
        std::cerr << "korvalen-read: the reader did not answer on " << command.port << '\n';
    const int cut = record.cut() + (no_answer ? 1 : 0);
    if (cut > 0)
        std::cerr << "korvalen-read: " << cut << " transfer(s) ended short of their size\n";
    if (interrupted)
        return 130;
    if (record.dump_failed())
        return 1;
    if (record.write_failed())
        return 3;
    return cut > 0 ? 4 : 0;
}

}  // namespace
}  // namespace korvalen

int main(int argc, char** argv) {
    korvalen::UseUtf8Console();
    return korvalen::Main(korvalen::CommandLineArguments(argc, argv));
}

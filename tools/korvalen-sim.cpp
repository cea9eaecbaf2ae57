// korvalen-sim: a simulated flash reader with a fleet's logger behind it, on a
// pseudo-terminal or a serial device, so the whole road from the logger to the
// dispatcher can run without hardware.

#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <cstdio>
#include <exception>
#include <fstream>
#include <iostream>
#include <iterator>
#include <optional>
#include <string>

#include "tools/sim/event_log.h"
#include "tools/sim/flash_memory.h"
#include "tools/sim/logger_model.h"
#include "tools/sim/options.h"
#include "tools/sim/reader_device.h"
#include "tools/sim/serial_line_posix.h"
#include "tools/sim/sim_loop_posix.h"
#include "tools/version_line.h"

namespace korvalen::sim {
namespace {

// The bytes of a flash image; throws std::runtime_error when it cannot be used.
std::string ReadFlashFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file)
        throw std::runtime_error("cannot open the flash file " + path);
    std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    if (file.bad())
        throw std::runtime_error("cannot read the flash file " + path);
    if (bytes.size() > FlashMemory::kCapacity) {
        throw std::runtime_error("the flash file " + path + " holds more than the flash's " +
                                 std::to_string(FlashMemory::kCapacity) + " bytes");
    }
    return bytes;
}

int Run(const SimOptions& options) {
    const Seconds start =
        options.start ? Seconds{*options.start}
                      : std::chrono::floor<std::chrono::seconds>(std::chrono::system_clock::now());
    EventLog log(options.log_file);
    Journal journal(options.journal_file);

    // Before the line opens, so that the program finds the flash full from its first read.
    FlashMemory flash;
    std::optional<LoggerModel> logger;
    if (options.flash_file) {
        flash.Append(ReadFlashFile(*options.flash_file));
        logger.emplace(options.history.logger, start);
    } else {
        History history = MakeHistory(options.history, start);
        for (const LoggedRecord& record : history.records) {
            flash.Append(record.bytes);
            journal.Write(record.frame);
        }
        journal.Flush();
        logger.emplace(std::move(history.logger));
    }

    SerialLine line =
        options.device ? SerialLine::OpenDevice(*options.device) : SerialLine::OpenPseudoTerminal();
    std::cout << line.path() << std::endl;  // flushed at once: a starter waits for it

    ReaderDevice device(flash, options.reader,
                        [&log](const std::string& event) { log.Write(event); });
    log.Write("start " + line.path() + " flash " + std::to_string(flash.size()) + " new " +
              std::to_string(flash.new_data_size()));
    return RunSimulator({line, device, flash, *logger, options.record_every, options.record_limit,
                         start, log, journal});
}


int Main(int argc, char** argv) {
    TakeSignalsIntoLoop();
    ::signal(SIGPIPE, SIG_IGN);  // a closed log pipe is a failed write, not the end
    const auto parsed = ParseOptions(std::vector<std::string>(argv + (argc > 0), argv + argc));
    if (const auto* error = std::get_if<std::string>(&parsed)) {
        std::cerr << "korvalen-sim: " << *error << '\n' << kUsageHint << '\n';
        return 2;
    }
    const SimOptions& options = std::get<SimOptions>(parsed);
    if (options.help) {
        std::cout << kHelp;
        return 0;
    }
    if (options.version) {
        std::cout << korvalen::VersionLine("korvalen-sim") << '\n';
        return 0;
    }
    if (options.exit_with_parent) {
        // The signal joins the others in the loop; a parent already gone is checked too.
        const pid_t parent = ::getppid();
        if (::prctl(PR_SET_PDEATHSIG, SIGTERM) != 0 || ::getppid() != parent)
            return 1;
    }
    return Run(options);
}

}  // namespace
}  // namespace korvalen::sim

int main(int argc, char** argv) {
    try {
        return korvalen::sim::Main(argc, argv);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "korvalen-sim: %s\n", error.what());
    } catch (...) {
        std::fputs("korvalen-sim: failed\n", stderr);
    }
    return 1;
}

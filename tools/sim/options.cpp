// SimOptions: the simulator's command line.
#include "tools/sim/options.h"

#include <charconv>
#include <limits>

namespace korvalen::sim {

const std::string_view kUsageHint = "Try 'korvalen-sim --help'.";

const std::string_view kHelp =
    R"help(Usage: korvalen-sim [OPTIONS]
A simulated flash reader with a fleet's logger behind it, on a new pseudo-terminal (or a
serial device). The first line of standard output is the path the program opens as its
serial port, e.g. /dev/pts/7. The reader answers the program's commands: (QND) new data,
(QAD) all data, (SDD) acknowledge the last new-data transfer, (SSS) stop a transfer,
(QTF) self-test report, (SEF) clear the flash.

Line:
      --device PATH      use a serial device (raw 115200 8N1) instead of a pseudo-terminal
      --pace FACTOR      send at FACTOR times 11,520 bytes/s (115,200 baud 8N1; default 1);
                         "max": as fast as the other side reads

Flash:
      --flash FILE       the flash holds the bytes of FILE (at most 32 MiB); the logger
                         then records only with an explicit --record-every
      --vehicles N       vehicles of the built-in logger model (1-200, default 4)
      --days D           days of history before the start (1-3650, default 3)
      --size BYTES       history of at most BYTES bytes, the latest records; with no
                         days given it reaches back as far as it takes to fill them
      --all-with-id      every vehicle's records carry ";ID=" (by default the last of
                         several vehicles has an older logger that writes none)
      --seed N           seed of the logger model and the noise (default 1)
      --start YYYY-MM-DD the simulator starts at 00:00 UTC of that day instead of now:
                         the history lies in the days before it, and records written
                         while running are dated from it on
      --record-every MS  the logger writes a record every MS milliseconds while running,
                         the vehicles in turn (default 1000; 0: idle)
      --records N        with --record-every: the logger writes N records, then is idle

Faults of flash transfers (N counts payload bytes after the reply header):
      --noise N          N bytes of line noise before the header
      --cut-at N         stop after N payload bytes and stay silent
      --stall-at N:MS    pause MS milliseconds after N payload bytes, then go on
      --extra N          send N bytes more than the header announces
      --vanish-at N      after N payload bytes close the line as a pulled adapter, then
                         exit with status 0
      --faults-once      apply the faults to the first transfer only (default: to each)

Records:
      --log FILE         the event log (default: standard error)
      --journal FILE     one line per record the logger writes into the flash, its frame
                         (the history first; not the contents of a --flash file)
      --exit-with-parent end (as on SIGTERM) when the process that started it ends, so a
                         test that dies leaves no simulator behind
  -h, --help             show this help
      --version          show the version and the revision

Standard input: a line "button" presses the reader's button (as SIGUSR1 does: a
new-data transfer, as (QND) would start); "pull" pulls the adapter out (as SIGUSR2
does: the line closes at once and the simulator ends); "quit" ends the simulator, as
SIGTERM and SIGINT do.

Event log: one line per command or event, flushed at once: SECONDS EVENT [DETAILS],
SECONDS since the start with three decimals, e.g. "1.042 transfer ND 183456".
  start PATH flash BYTES new BYTES    the line is open, the flash holds BYTES
  command (XXX)                       a command received (any five-byte "(XXX)")
  ignored (XXX) busy|idle|unknown     a command not acted on
  button                              the reader's button (followed by command (QND))
  transfer ND|AD SIZE                 a transfer started; SIZE is the announced payload
  stall MS ms at N                    a --stall-at pause began
  transfer-end complete|stopped|cut|vanished N
                                      a transfer ended; N bytes went out after the header
  ack BYTES | ack none                (SDD) acknowledged BYTES of new data, or nothing
  pulled                              the adapter was pulled out (SIGUSR2, "pull")
  flash-cleared BYTES                 (SEF) dropped BYTES
  test-report LINES lines             the self-test report started
  test-report sent|stopped            it ended
  flash-full                          the flash is full; the logger stops recording
  recording-ended N                   the logger wrote its --records N and is idle
  vanished at N                       the line was closed (--vanish-at)
  stdin LINE                          an unknown line on standard input, ignored
  error TEXT                          the line failed; the simulator ends with status 1
  exit REASON                         the simulator ends (signal, quit, vanished, pulled)

Exit status: 0 when ended by a signal, "quit", "pull" or --vanish-at; 1 when the line or
a file cannot be opened or the line fails; 2 for a usage error.
)help";

namespace {

template <typename Number>
std::optional<Number> ParseNumber(std::string_view text, Number lowest, Number highest) {
    Number value{};
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value < lowest ||
        value > highest) {
        return std::nullopt;
    }
    return value;
}

std::optional<std::chrono::sys_days> ParseDate(std::string_view text) {
    if (text.size() != 10 || text[4] != '-' || text[7] != '-')
        return std::nullopt;
    const auto year = ParseNumber<int>(text.substr(0, 4), 2000, 2999);
    const auto month = ParseNumber<unsigned>(text.substr(5, 2), 1, 12);
    const auto day = ParseNumber<unsigned>(text.substr(8, 2), 1, 31);
    if (!year || !month || !day)
        return std::nullopt;
    const std::chrono::year_month_day date{std::chrono::year{*year}, std::chrono::month{*month},
                                           std::chrono::day{*day}};
    if (!date.ok())
        return std::nullopt;
    return std::chrono::sys_days{date};
}

constexpr std::size_t kMostBytes = 1u << 30;

}  // namespace

std::variant<SimOptions, std::string> ParseOptions(const std::vector<std::string>& arguments) {
    SimOptions options;
    bool record_every_given = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        std::string name = arguments[i];
        std::optional<std::string> inline_value;
        if (const auto equals = name.find('='); name.starts_with("--") && equals != name.npos) {
            inline_value = name.substr(equals + 1);
            name.resize(equals);
        }
        const auto value = [&]() -> std::optional<std::string> {
            if (inline_value)
                return inline_value;
            if (i + 1 < arguments.size())
                return arguments[++i];
            return std::nullopt;
        };
        const auto flag = [&]() { return !inline_value; };
        const auto bad = [&](std::string_view what) { return name + ": " + std::string(what); };

        if ((name == "-h" || name == "--help") && flag()) {
            options.help = true;
            return options;
        }
        if (name == "--version" && flag()) {
            options.version = true;
            return options;
        }
        if (name == "--all-with-id" && flag()) {
            options.history.logger.all_with_id = true;
            continue;
        }
        if (name == "--exit-with-parent" && flag()) {
            options.exit_with_parent = true;
            continue;
        }
        if (name == "--faults-once" && flag()) {
            options.reader.faults.first_transfer_only = true;
            continue;
        }
        static const std::vector<std::string_view> kWithValue = {
            "--device", "--pace",      "--flash",        "--vehicles", "--days",   "--size",
            "--seed",   "--start",     "--record-every", "--noise",    "--cut-at", "--stall-at",
            "--extra",  "--vanish-at", "--log",          "--journal",  "--records"};
        bool known = false;
        for (std::string_view known_name : kWithValue)
            known = known || name == known_name;
        if (!known)
            return "unknown option " + arguments[i];
        const std::optional<std::string> text = value();
        if (!text)
            return bad("needs a value");

        if (name == "--device") {
            options.device = *text;
        } else if (name == "--flash") {
            options.flash_file = *text;
        } else if (name == "--log") {
            options.log_file = *text;
        } else if (name == "--journal") {
            options.journal_file = *text;
        } else if (name == "--pace") {
            if (*text == "max") {
                options.reader.pace = 0;
            } else {
                const auto pace = ParseNumber<double>(*text, 0.001, 1e6);
                if (!pace)
                    return bad("a factor from 0.001 to 1000000, or max");
                options.reader.pace = *pace;
            }
        } else if (name == "--vehicles") {
            const auto count = ParseNumber<int>(*text, 1, 200);
            if (!count)
                return bad("a number from 1 to 200");
            options.history.logger.vehicles = *count;
        } else if (name == "--days") {
            const auto days = ParseNumber<int>(*text, 1, 3650);
            if (!days)
                return bad("a number from 1 to 3650");
            options.history.days = *days;
        } else if (name == "--size") {
            const auto size = ParseNumber<std::size_t>(*text, 0, FlashMemory::kCapacity);
            if (!size)
                return bad("bytes, at most " + std::to_string(FlashMemory::kCapacity));
            options.history.size = *size;
        } else if (name == "--seed") {
            const auto seed = ParseNumber<std::uint32_t>(*text, 0, 0xFFFFFFFFu);
            if (!seed)
                return bad("a number from 0 to 4294967295");
            options.history.logger.seed = *seed;
            options.reader.seed = *seed;
        } else if (name == "--start") {
            options.start = ParseDate(*text);
            if (!options.start)
                return bad("a date YYYY-MM-DD from 2000 to 2999");
        } else if (name == "--record-every") {
            const auto every = ParseNumber<int>(*text, 0, 86400000);
            if (!every)
                return bad("milliseconds from 0 to 86400000");
            options.record_every = Milliseconds{*every};
            record_every_given = true;
        } else if (name == "--records") {
            const auto limit = ParseNumber<std::int64_t>(*text, 1, 100000000);
            if (!limit)
                return bad("a number of records from 1 to 100000000");
            options.record_limit = *limit;
        } else if (name == "--stall-at") {
            const auto colon = text->find(':');
            const auto at = colon == text->npos
                                ? std::nullopt
                                : ParseNumber<std::size_t>(text->substr(0, colon), 0, kMostBytes);
            const auto length = colon == text->npos
                                    ? std::nullopt
                                    : ParseNumber<int>(text->substr(colon + 1), 0, 3600000);
            if (!at || !length)
                return bad("N:MS, payload bytes and milliseconds");
            options.reader.faults.stall_at = *at;
            options.reader.faults.stall_length = Milliseconds{*length};
        } else {
            const auto bytes = ParseNumber<std::size_t>(*text, 0, kMostBytes);
            if (!bytes)
                return bad("a number of bytes");
            if (name == "--noise")
                options.reader.faults.noise = *bytes;
            else if (name == "--cut-at")
                options.reader.faults.cut_at = *bytes;
            else if (name == "--extra")
                options.reader.faults.extra = *bytes;
            else
                options.reader.faults.vanish_at = *bytes;
        }
    }
    if (options.flash_file && !record_every_given)
        options.record_every = Milliseconds{0};
    return options;
}

}  // namespace korvalen::sim

// RunSimulator: the simulator's event loop: the line, the logger's clock, signals and
// standard input.
#include "tools/sim/sim_loop_posix.h"

#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "tools/sim/unique_fd.h"

namespace korvalen::sim {
namespace {

using Clock = std::chrono::steady_clock;

sigset_t LoopSignals() {
    sigset_t signals;
    sigemptyset(&signals);
    for (int signal : {SIGUSR1, SIGUSR2, SIGTERM, SIGINT, SIGHUP})
        sigaddset(&signals, signal);
    return signals;
}

std::string SystemError(std::string_view what) {
    const int error = errno;
    return std::string(what) + ": " + std::strerror(error) + " (" + std::to_string(error) + ")";
}

class Loop {
  public:
    explicit Loop(const SimParts& parts) : parts_(parts), started_(Clock::now()) {
        const sigset_t signals = LoopSignals();
        signals_ = UniqueFd(::signalfd(-1, &signals, SFD_NONBLOCK | SFD_CLOEXEC));
        next_record_ = started_ + parts_.record_every;
    }

    int Run() {
        if (!signals_.valid()) {
            parts_.log.Write("error " + SystemError("signalfd"));
            return 1;
        }
        for (;;) {
            const auto now = Clock::now();
            RecordDue(now);
            if (!WriteReady(now))
                return 1;
            if (const auto at = parts_.device.vanished_at()) {
                Vanish(*at);
                return 0;
            }
            if (const auto status = WaitAndHandle(now))
                return *status;
        }
    }

  private:
    // The logger writes whatever records fell due, each with the logger's time of its
    // moment, so a loop held up for a while catches up with the right times.
    void RecordDue(Clock::time_point now) {
        while (recording() && now >= next_record_) {
            const auto since_start =
                std::chrono::floor<std::chrono::seconds>(next_record_ - started_);
            const LoggedRecord record = parts_.logger.RecordAt(parts_.logger_start + since_start);
            next_record_ += parts_.record_every;
            if (!parts_.flash.Append(record.bytes)) {
                if (!flash_full_)
                    parts_.log.Write("flash-full");
                flash_full_ = true;
                continue;
            }
            parts_.journal.Write(record.frame);
            parts_.journal.Flush();
            if (++recorded_ == parts_.record_limit)
                parts_.log.Write("recording-ended " + std::to_string(recorded_));
        }
    }

    bool recording() const {
        return parts_.record_every.count() > 0 && recorded_ != parts_.record_limit;
    }

    // Writes what the reader has ready until the line takes no more.
    bool WriteReady(Clock::time_point now) {
        line_full_ = false;
        for (;;) {
            const std::string_view bytes = parts_.device.Ready(now);
            if (bytes.empty())
                return true;
            const ssize_t written = ::write(parts_.line.fd(), bytes.data(), bytes.size());
            if (written < 0) {
                if (errno == EAGAIN || errno == EWOULDBLOCK) {
                    line_full_ = true;  // the program reads slowly: wait until it has room
                    return true;
                }
                if (errno == EINTR)
                    continue;
                parts_.log.Write("error " + SystemError("write to " + parts_.line.path()));
                return false;
            }
            parts_.device.Written(static_cast<std::size_t>(written), now);
            if (parts_.device.vanished_at())
                return true;
        }
    }

    // A pulled adapter: what went over the wire before reaches the program, then the line
    // is gone. A pseudo-terminal drops its unread bytes when it closes, so the simulator
    // first lets the program read them (if it reads at all). The kernel moves written
    // bytes into the program's queue a moment later, so the queue has to stay empty for
    // a while before they count as read.
    void Vanish(std::size_t at) {
        using std::chrono::milliseconds;
        const auto give_up = Clock::now() + std::chrono::seconds(2);
        auto empty_since = Clock::now();
        while (Clock::now() < give_up && Clock::now() - empty_since < milliseconds(50)) {
            if (parts_.line.UnreadByProgram() > 0)
                empty_since = Clock::now();
            std::this_thread::sleep_for(milliseconds(2));
        }
        parts_.line.Close();
        parts_.log.Write("vanished at " + std::to_string(at));
        parts_.log.Write("exit vanished");
    }

    // The adapter pulled out, whatever the reader is doing: the line is gone at once.
    int Pull() {
        parts_.line.Close();
        parts_.log.Write("pulled");
        parts_.log.Write("exit pulled");
        return 0;
    }

    // Sleeps until the line, a signal or standard input has something, or the reader or
    // the logger is due; handles what came. A status when the simulator is to end.
    std::optional<int> WaitAndHandle(Clock::time_point now) {
        Clock::time_point wake = Clock::time_point::max();
        if (recording())
            wake = next_record_;
        if (!line_full_) {
            if (const auto chance = parts_.device.NextChanceAt(now))
                wake = std::min(wake, *chance);
        }
        int timeout = -1;
        if (wake != Clock::time_point::max()) {
            const auto wait = std::chrono::ceil<std::chrono::milliseconds>(wake - now).count();
            timeout = static_cast<int>(std::clamp<long long>(wait, 0, 60000));
        }

        std::vector<pollfd> watched = {
            {parts_.line.fd(), static_cast<short>(POLLIN | (line_full_ ? POLLOUT : 0)), 0},
            {signals_.get(), POLLIN, 0},
        };
        if (stdin_open_)
            watched.push_back({STDIN_FILENO, POLLIN, 0});
        if (::poll(watched.data(), watched.size(), timeout) < 0) {
            if (errno == EINTR)
                return std::nullopt;
            parts_.log.Write("error " + SystemError("poll"));
            return 1;
        }
        if (watched[1].revents & POLLIN) {
            if (const auto status = HandleSignals())
                return status;
        }
        if (watched[0].revents & (POLLIN | POLLERR | POLLHUP)) {
            if (const auto status = ReadLine())
                return status;
        }
        if (stdin_open_ && watched[2].revents & (POLLIN | POLLHUP | POLLERR | POLLNVAL))
            return ReadStandardInput();
        return std::nullopt;
    }

    std::optional<int> HandleSignals() {
        signalfd_siginfo info{};
        while (::read(signals_.get(), &info, sizeof info) == sizeof info) {
            if (info.ssi_signo == SIGUSR1) {
                parts_.device.PressButton();
            } else if (info.ssi_signo == SIGUSR2) {
                return Pull();
            } else {
                parts_.log.Write(std::string("exit signal ") + ::strsignal(info.ssi_signo));
                return 0;
            }
        }
        return std::nullopt;
    }

    std::optional<int> ReadLine() {
        std::string buffer(4096, '\0');
        const ssize_t count = ::read(parts_.line.fd(), buffer.data(), buffer.size());
        if (count > 0) {
            parts_.device.Receive(std::string_view(buffer.data(), static_cast<std::size_t>(count)));
            return std::nullopt;
        }
        if (count < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR))
            return std::nullopt;
        // A pseudo-terminal keeps its own slave open, so only a device can get here: an
        // adapter that was pulled out, or a line that failed.
        parts_.log.Write("error " + (count == 0 ? "end of " + parts_.line.path()
                                                : SystemError("read from " + parts_.line.path())));
        return 1;
    }

    std::optional<int> ReadStandardInput() {
        std::string buffer(1024, '\0');
        const ssize_t count = ::read(STDIN_FILENO, buffer.data(), buffer.size());
        if (count <= 0) {
            if (count < 0 && (errno == EAGAIN || errno == EINTR))
                return std::nullopt;
            stdin_open_ = false;  // no more input: the simulator goes on without it
            return std::nullopt;
        }
        stdin_text_.append(buffer.data(), static_cast<std::size_t>(count));
        for (std::size_t end; (end = stdin_text_.find('\n')) != std::string::npos;) {
            std::string line = stdin_text_.substr(0, end);
            stdin_text_.erase(0, end + 1);
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            if (line == "button") {
                parts_.device.PressButton();
            } else if (line == "quit") {
                parts_.log.Write("exit quit");
                return 0;
            } else if (line == "pull") {
                return Pull();
            } else if (!line.empty()) {
                parts_.log.Write("stdin " + line);
            }
        }
        // A line that never ends is not a command; keep memory bounded.
        if (stdin_text_.size() > 4096)
            stdin_text_.clear();
        return std::nullopt;
    }

    SimParts parts_;
    Clock::time_point started_;
    Clock::time_point next_record_;
    UniqueFd signals_;
    bool line_full_ = false;
    bool flash_full_ = false;
    std::int64_t recorded_ = 0;  // records written since the start
    bool stdin_open_ = true;
    std::string stdin_text_;
};

}  // namespace

void TakeSignalsIntoLoop() {
    const sigset_t signals = LoopSignals();
    ::sigprocmask(SIG_BLOCK, &signals, nullptr);
}

int RunSimulator(const SimParts& parts) {
    return Loop(parts).Run();
}

}  // namespace korvalen::sim

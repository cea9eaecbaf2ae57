// SimProcess: korvalen-sim as a child process of a test, with its device path, its
// button and its event log.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <iterator>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "spawn_attributes.h"
#include "temp_folder.h"

#ifndef KORVALEN_SIM_PATH
#error "KORVALEN_SIM_PATH must name the built korvalen-sim"
#endif

extern char** environ;

namespace korvalen::testing {

// Starts the simulator with `arguments` (plus its --log in a fresh temporary folder) and
// waits for the device path on its first line of standard output. The destructor ends
// it with SIGTERM (SIGKILL when it does not go within five seconds) and removes the
// folder. Throws std::runtime_error when the simulator does not start.
//
//   SimProcess sim({"--pace", "max", "--start", "2024-03-10"});
//   int port = OpenRawPort(sim.device_path());
//   ... write "(QND)" ...
//   ASSERT_TRUE(sim.WaitForLog("transfer-end complete", std::chrono::seconds(5)));
class SimProcess {
  public:
    explicit SimProcess(std::vector<std::string> arguments,
                        std::chrono::milliseconds start_timeout = std::chrono::seconds(10))
        : log_path_(folder_ / "sim.log") {
        arguments.insert(arguments.begin(),
                         {KORVALEN_SIM_PATH, "--log", log_path_, "--exit-with-parent"});
        int out[2];
        if (::pipe2(out, O_CLOEXEC) != 0)
            throw std::runtime_error("SimProcess: no pipe");
        stdout_ = out[0];

        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        // Not the runner's stream: a runner waits for its end, which a simulator left
        // behind would hold open.
        const std::string errors_path = folder_ / "sim.stderr";
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errors_path.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const DefaultSignalsAttributes attributes;
        std::vector<char*> argv;
        for (std::string& argument : arguments)
            argv.push_back(argument.data());
        argv.push_back(nullptr);
        const int spawned =
            ::posix_spawn(&pid_, argv[0], &actions, attributes.get(), argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        ::close(out[1]);
        if (spawned != 0) {
            pid_ = -1;
            CloseStdout();
            throw std::runtime_error(std::string("SimProcess: cannot start ") + KORVALEN_SIM_PATH);
        }
        device_path_ = ReadFirstLine(start_timeout);
        if (device_path_.empty()) {
            Stop();
            throw std::runtime_error("SimProcess: korvalen-sim gave no device path; its log: " +
                                     Log());
        }
    }

    ~SimProcess() {
        Stop();
        CloseStdout();
    }
    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;

    const std::string& device_path() const { return device_path_; }
    const TempFolder& folder() const { return folder_; }
    pid_t pid() const { return pid_; }

    // The reader's own button.
    void PressButton() const {
        if (pid_ > 0)
            ::kill(pid_, SIGUSR1);
    }

    // The event log as it stands now.
    std::string Log() const {
        std::ifstream file(log_path_, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    }

    // True as soon as the log holds `text`; false when `timeout` passed first.
    bool WaitForLog(std::string_view text, std::chrono::milliseconds timeout) const {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        for (;;) {
            if (Log().find(text) != std::string::npos)
                return true;
            if (std::chrono::steady_clock::now() >= deadline)
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }

    // The exit status once the simulator has ended by itself, or none after `timeout`
    // (it is still running then). -1 when it was ended by a signal.
    std::optional<int> WaitForExit(std::chrono::milliseconds timeout) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (!status_) {
            if (!Reap() && std::chrono::steady_clock::now() >= deadline)
                return std::nullopt;
            if (!status_)
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return status_;
    }

  private:
    // True once the child is gone (its status kept).
    bool Reap() {
        if (status_)
            return true;
        int status = 0;
        if (pid_ <= 0 || ::waitpid(pid_, &status, WNOHANG) != pid_)
            return false;
        status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        return true;
    }

    void Stop() {
        if (pid_ <= 0 || Reap())
            return;
        ::kill(pid_, SIGTERM);
        if (!WaitForExit(std::chrono::seconds(5))) {
            ::kill(pid_, SIGKILL);
            int status = 0;
            ::waitpid(pid_, &status, 0);
            status_ = -1;
        }
    }

    std::string ReadFirstLine(std::chrono::milliseconds timeout) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        std::string line;
        for (;;) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            pollfd readable{stdout_, POLLIN, 0};
            if (left.count() <= 0 || ::poll(&readable, 1, static_cast<int>(left.count())) <= 0)
                return "";
            char c = 0;
            if (::read(stdout_, &c, 1) != 1)
                return "";  // the simulator ended before it named its device
            if (c == '\n')
                return line;
            line += c;
        }
    }

    void CloseStdout() {
        if (stdout_ >= 0)
            ::close(stdout_);
        stdout_ = -1;
    }

    TempFolder folder_;
    std::string log_path_;
    pid_t pid_ = -1;
    int stdout_ = -1;
    std::string device_path_;
    std::optional<int> status_;
};

}  // namespace korvalen::testing

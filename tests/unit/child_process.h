// A program of the project run as a child process of a test, which the test may kill.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "spawn_attributes.h"

extern char** environ;

namespace korvalen::testing {

// Starts `arguments` (the program first) with `environment` added to the test's own,
// its output into `output` (standard output and error alike). The destructor kills what
// is still running.
class ChildProcess {
  public:
    ChildProcess(std::vector<std::string> arguments, const std::vector<std::string>& environment,
                 const std::string& output) {
        std::vector<std::string> variables;
        for (char** v = environ; *v; ++v)
            variables.emplace_back(*v);
        variables.insert(variables.end(), environment.begin(), environment.end());
        std::vector<char*> argv;
        for (std::string& a : arguments)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        std::vector<char*> envp;
        for (std::string& v : variables)
            envp.push_back(v.data());
        envp.push_back(nullptr);

        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, output.c_str(),
                                         O_WRONLY | O_CREAT | O_APPEND, 0644);
        posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
        const DefaultSignalsAttributes attributes;
        const int spawned =
            ::posix_spawn(&pid_, argv[0], &actions, attributes.get(), argv.data(), envp.data());
        posix_spawn_file_actions_destroy(&actions);
        if (spawned != 0)
            throw std::runtime_error("ChildProcess: cannot start " + arguments[0]);
    }
    ~ChildProcess() {
        if (!status_) {
            ::kill(pid_, SIGKILL);
            Wait(std::chrono::seconds(10));
        }
    }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // As a power cut would end it: no handler runs, nothing is flushed.
    void Kill() { Signal(SIGKILL); }
    // As the operator's Ctrl+C (SIGINT) or a service manager's stop (SIGTERM).
    void Signal(int signal) {
        if (!status_)
            ::kill(pid_, signal);
    }

    // The exit status, -1 when a signal ended it; nothing when it still runs after
    // `timeout`.
    std::optional<int> Wait(std::chrono::milliseconds timeout) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (!status_) {
            int status = 0;
            if (::waitpid(pid_, &status, WNOHANG) == pid_) {
                status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
                break;
            }
            if (std::chrono::steady_clock::now() >= deadline)
                return std::nullopt;
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        return status_;
    }

  private:
    pid_t pid_ = -1;
    std::optional<int> status_;
};

}  // namespace korvalen::testing

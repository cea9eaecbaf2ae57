// POSIX side of the command-line tools: the terminal, the descriptor limit, SIGINT, SIGTERM
// and SIGHUP.
#include <pthread.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdlib>
#include <thread>

#include "platform/console.h"

namespace korvalen {

std::vector<std::string> CommandLineArguments(int argc, char** argv) {
    return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
}

void UseUtf8Console() {}

bool StandardErrorIsTerminal() {
    return ::isatty(STDERR_FILENO) != 0;
}

bool StandardOutputIsTerminal() {
    return ::isatty(STDOUT_FILENO) != 0;
}

void AllowManyOpenFiles() {
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        ::setrlimit(RLIMIT_NOFILE, &limit);
    }
}

void WatchInterrupts(std::function<void()> on_first_interrupt) {
    // The signals are taken by a thread that waits for them, not by a handler, so that
    // the callback may use any synchronisation it likes.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    // A blocked signal is kept for sigwait even when its action is to ignore it, so the
    // hang-up is taken only when nobody (nohup) has asked to ignore it.
    struct sigaction hangup {};
    if (sigaction(SIGHUP, nullptr, &hangup) == 0 && hangup.sa_handler != SIG_IGN)
        sigaddset(&signals, SIGHUP);
    if (pthread_sigmask(SIG_BLOCK, &signals, nullptr) != 0)
        return;
    std::thread([signals, callback = std::move(on_first_interrupt)] {
        bool interrupted = false;
        for (;;) {
            int signal = 0;
            if (sigwait(&signals, &signal) != 0)
                return;
            if (interrupted)
                std::_Exit(130);
            interrupted = true;
            callback();
        }
    }).detach();
}

char FolderSeparator() {
    return '/';
}

}  // namespace korvalen

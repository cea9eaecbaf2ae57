// korvalen-read-bench: the reading thread alone against a reader on a serial device (the
// simulator's pseudo-terminal), for bench/serial_road.sh. It reads new data a number of
// times, keeping each dump, or holds the port open and idle and reports the CPU time the
// process used meanwhile.
//
//   korvalen-read-bench DEVICE --reads N --folder DIR   N reads, dumps DIR/Korvalen*.trc
//   korvalen-read-bench DEVICE --idle SECONDS           CPU while the port is open, idle
#include <sys/resource.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <random>
#include <string>
#include <thread>

#include "serial/port_connection.h"
#include "serial/reader_protocol.h"
#include "worker/decode_jobs.h"

namespace {

using namespace std::chrono_literals;

// Prints the messages and the dumps decoded, and counts those.
class ConsoleHost final : public korvalen::RoadEvents, public korvalen::Operator {
  public:
    void ShowMessage(std::string_view text, std::string_view, korvalen::MessageIcon) override {
        std::fprintf(stderr, "message: %.*s\n", static_cast<int>(text.size()), text.data());
    }
    bool AskYesNo(std::string_view) override { return false; }
    std::string PromptObjectId() override { return "0000"; }
    void PassEnded(const korvalen::PassEnd& pass) override {
        if (!pass.opened)
            return;
        std::printf("dump %s\n", pass.dump.c_str());
        std::fflush(stdout);
        {
            std::lock_guard lock(mutex_);
            ++dumps_;
        }
        changed_.notify_all();
    }
    bool WaitForDumps(int count, std::chrono::seconds timeout) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, timeout, [&] { return dumps_ >= count; });
    }

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    int dumps_ = 0;  // guarded by mutex_
};

double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

int Usage() {
    std::fputs(
        "usage: korvalen-read-bench DEVICE --reads N --folder DIR\n"
        "       korvalen-read-bench DEVICE --idle SECONDS\n",
        stderr);
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4 && argc != 6)
        return Usage();
    const std::string device = argv[1];
    const std::string option = argv[2];
    const int value = std::atoi(argv[3]);
    std::string folder = ".";
    if (argc == 6 && std::string(argv[4]) == "--folder")
        folder = argv[5];
    if ((option != "--reads" && option != "--idle") || value <= 0)
        return Usage();

    ConsoleHost host;
    korvalen::Settings settings;
    korvalen::ApplyDefaults(settings, folder);
    settings.InFile = folder + "/Korvalen.trc";
    settings.InboxDir = folder + "/InBox/";
    korvalen::DecodeJobs jobs(folder + "/Data/", settings, host, host);
    korvalen::PortConnection connection(jobs);
    if (!connection.Open(device)) {
        std::fprintf(stderr, "cannot open %s: %d\n", device.c_str(), connection.open_error());
        return 1;
    }
    if (option == "--idle") {
        const double before = CpuSeconds();
        std::this_thread::sleep_for(std::chrono::seconds(value));
        const double used = CpuSeconds() - before;
        std::printf("idle %d s: cpu %.4f s = %.4f %% of a core\n", value, used,
                    100.0 * used / value);
        return 0;
    }
    // A read starts at any point of the thread's poll cycle, as a person's click does;
    // one right after the last read's end would always fall just after a poll.
    std::mt19937 random(1);
    std::uniform_int_distribution<int> pause_ms(0, 250);
    for (int read = 1; read <= value; ++read) {
        std::this_thread::sleep_for(std::chrono::milliseconds(pause_ms(random)));
        connection.SendCommand(korvalen::kQueryNewData);
        if (!host.WaitForDumps(read, 600s)) {
            std::fprintf(stderr, "read %d did not end\n", read);
            return 1;
        }
    }
    jobs.WaitUntilIdle(600s);
    return 0;
}

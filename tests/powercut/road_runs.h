// korvalen-read against a simulated logger, as the power-loss and fault stories start it.
#pragma once

#include <string>
#include <vector>

#include "sim_process.h"

#ifndef KORVALEN_READ_PATH
#error "KORVALEN_READ_PATH must name the built korvalen-read"
#endif

namespace korvalen::powercut {

// Three vehicles, about 60 KB of history and nothing new while the test runs.
inline std::vector<std::string> LoggerArguments(unsigned seed, const std::string& journal,
                                                const char* start) {
    return {"--pace",
            "max",
            "--vehicles",
            "3",
            "--size",
            "60000",
            "--all-with-id",
            "--start",
            start,
            "--record-every",
            "0",
            "--seed",
            std::to_string(seed),
            "--journal",
            journal};
}

// A read of new data with the data folder and the InBox as given (with their separator).
inline std::vector<std::string> ReadArguments(const std::string& data, const std::string& inbox,
                                              const std::string& port) {
    return {KORVALEN_READ_PATH, "--new", "--data", data, "-o", inbox, port};
}

// True once the reader's last transfer of new data was empty: it has nothing new.
inline bool Drained(const std::string& sim_log) {
    const std::size_t last = sim_log.rfind("transfer ND ");
    return last != std::string::npos && sim_log.compare(last, 14, "transfer ND 0\n") == 0;
}

}  // namespace korvalen::powercut

#include "power_cut_rebuild.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <stdexcept>

#include "durable_state.h"
#include "layer_environment.h"

namespace korvalen::powercut {
namespace {

namespace fs = std::filesystem;

std::string ReadAll(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file)
        throw std::runtime_error("cannot read " + path.string());
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

}  // namespace

std::vector<Event> ReadEvents(const std::string& store) {
    const fs::path events = fs::path(store) / kEventsName;
    return fs::exists(events) ? ParseEvents(ReadAll(events)) : std::vector<Event>{};
}

RunSummary Summarize(const std::vector<Event>& events) {
    RunSummary summary;
    for (const Event& e : events) {
        if (e.kind == EventKind::Call) {
            summary.calls = e.number;
            summary.last_call = e.op + " " + e.path + (e.to.empty() ? "" : " " + e.to);
        } else if (e.kind == EventKind::Ack && !summary.ack_after) {
            summary.ack_after = e.number;
        } else if (e.kind == EventKind::Unmodelled) {
            summary.unmodelled.push_back(e.op + " " + e.path);
        }
    }
    return summary;
}

void TakeSnapshot(const std::string& root, const std::string& snapshot) {
    fs::remove_all(snapshot);
    fs::copy(root, snapshot, fs::copy_options::recursive);
}

void RebuildAfterPowerCut(const std::string& root, const std::string& snapshot,
                          const std::string& store) {
    const DurableState state = WhatSurvives(ReadEvents(store));
    for (const auto& entry : fs::directory_iterator(root))
        fs::remove_all(entry.path());
    std::map<std::uint64_t, fs::path> written;  // a file's first name: its others link to it
    for (const auto& [name, what] : state.names) {
        const fs::path path = fs::path(root) / name;
        if (what.folder) {
            fs::create_directories(path);
            continue;
        }
        fs::create_directories(path.parent_path());
        if (const auto first = written.find(what.generation); first != written.end()) {
            fs::create_hard_link(first->second, path);
            continue;
        }
        written[what.generation] = path;
        const auto copy = state.synced_copy.find(what.generation);
        const auto before = state.before_run.find(what.generation);
        if (copy != state.synced_copy.end())
            fs::copy_file(fs::path(store) / (kCopyPrefix + std::to_string(copy->second)), path);
        else if (before != state.before_run.end())
            fs::copy_file(fs::path(snapshot) / before->second, path);
        else
            std::ofstream(path, std::ios::binary);  // new, never synced: nothing of it
    }
}

}  // namespace korvalen::powercut

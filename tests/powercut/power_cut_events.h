// The power-cut layer's record of a run: one line per event, fields separated by tabs,
// paths relative to the layer's root ("." for the root itself). The layer writes the
// lines; the rebuild reads them back. A file is known by its generation, a number the
// layer gives each file it sees, so that an inode the system reuses is another file.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace korvalen::powercut {

enum class EventKind {
    Exists,      // before the run: a file (generation) or a folder under the root
    Call,        // the number-th counted call is about to be made: op, path, to
    Ack,         // "(SDD)" went to the reader after `number` counted calls
    Create,      // a new file under a name
    MakeFolder,  // a folder made
    Rename,      // a file (generation) or a folder moved from `path` to `to`
    Link,        // a second name `to` for the file at `path`
    Remove,      // a name of a file removed
    RemoveFolder,
    FileSync,    // the file's content, as copy `number` in the store, is on the disk
    FolderSync,  // the names in the folder are on the disk
    Fault,       // a planted fault was applied: op, path
    Read,        // a file with a planted read fault was read, after `number` counted calls
    Unmodelled,  // something the rebuild cannot follow (the run's result is not to be trusted)
};

struct Event {
    EventKind kind = EventKind::Call;
    bool folder = false;           // Exists, Rename
    std::uint64_t generation = 0;  // Exists, Create, Rename, Link, Remove, FileSync
    std::uint64_t number = 0;      // Call, Ack: the count; FileSync: the copy
    std::string op{};              // Call, Fault, Unmodelled
    std::string path{};
    std::string to{};  // Rename, Link; Call: the second path of a move
};

std::string FormatEvent(const Event& event);
std::optional<Event> ParseEvent(std::string_view line);
// Every line of a log; a line that cannot be read ends the list there (the last line of a
// run ended by a power cut may be cut).
std::vector<Event> ParseEvents(std::string_view text);

// The folder a path relative to the root is in ("." for a name in the root).
std::string ParentOf(const std::string& path);

}  // namespace korvalen::powercut

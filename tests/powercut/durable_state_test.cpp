// The strict power-cut model on hand-made runs: which names and which contents survive.
#include "durable_state.h"

#include <gtest/gtest.h>

namespace korvalen::powercut {
namespace {

Event Existing(std::uint64_t generation, std::string path) {
    return {.kind = EventKind::Exists, .generation = generation, .path = std::move(path)};
}
Event ExistingFolder(std::string path) {
    return {.kind = EventKind::Exists, .folder = true, .path = std::move(path)};
}
Event Created(std::uint64_t generation, std::string path) {
    return {.kind = EventKind::Create, .generation = generation, .path = std::move(path)};
}
Event MadeFolder(std::string path) {
    return {.kind = EventKind::MakeFolder, .folder = true, .path = std::move(path)};
}
Event Renamed(std::uint64_t generation, std::string from, std::string to) {
    return {.kind = EventKind::Rename,
            .generation = generation,
            .path = std::move(from),
            .to = std::move(to)};
}
Event Linked(std::uint64_t generation, std::string from, std::string to) {
    return {.kind = EventKind::Link,
            .generation = generation,
            .path = std::move(from),
            .to = std::move(to)};
}
Event Removed(std::uint64_t generation, std::string path) {
    return {.kind = EventKind::Remove, .generation = generation, .path = std::move(path)};
}
Event Synced(std::uint64_t generation, std::uint64_t copy) {
    return {.kind = EventKind::FileSync, .generation = generation, .number = copy};
}
Event FolderSynced(std::string path) {
    return {.kind = EventKind::FolderSync, .folder = true, .path = std::move(path)};
}

constexpr DurableName kFolder{true, 0};
constexpr DurableName File(std::uint64_t generation) {
    return {false, generation};
}

struct Case {
    const char* name;
    std::vector<Event> run;
    std::map<std::string, DurableName> names;
    std::map<std::uint64_t, std::uint64_t> synced_copies;
};

TEST(PowerCutModel, UnsyncedDataAndUnsyncedNamesAreLost) {
    const Case cases[] = {
        {"data synced survives; data written without a sync is what it was before the run",
         {Existing(1, "old"), Created(2, "new"), FolderSynced("."), Synced(2, 1)},
         {{"new", File(2)}, {"old", File(1)}},
         {{2, 1}}},
        {"a created file whose folder was not synced is gone, synced data or not",
         {ExistingFolder("Data"), Created(3, "Data/x"), Synced(3, 1), FolderSynced(".")},
         {{"Data", kFolder}},
         {{3, 1}}},
        {"a rename counts through its target folder",
         {ExistingFolder("S"), ExistingFolder("I"), Created(4, "S/m"), FolderSynced("S"),
          Renamed(4, "S/m", "I/m"), FolderSynced("I")},
         {{"I", kFolder}, {"I/m", File(4)}, {"S", kFolder}},
         {}},
        {"a rename does not count while the create of the name it moves does not",
         {ExistingFolder("S"), ExistingFolder("I"), Created(5, "S/m"), Renamed(5, "S/m", "I/m"),
          FolderSynced("I")},
         {{"I", kFolder}, {"S", kFolder}},
         {}},
        {"a rename without a later sync of either folder leaves the old name",
         {ExistingFolder("S"), ExistingFolder("I"), Created(5, "S/m"), FolderSynced("S"),
          Renamed(5, "S/m", "I/m")},
         {{"I", kFolder}, {"S", kFolder}, {"S/m", File(5)}},
         {}},
        {"a file removed without a sync is still there",
         {ExistingFolder("Data"), Existing(6, "Data/jnl"), Removed(6, "Data/jnl")},
         {{"Data", kFolder}, {"Data/jnl", File(6)}},
         {}},
        {"a folder made without syncing its parent is gone with what it holds",
         {ExistingFolder("I"), MadeFolder("I/stage"), Created(7, "I/stage/f"),
          FolderSynced("I/stage"), Synced(7, 1)},
         {{"I", kFolder}},
         {{7, 1}}},
        {"a link counts only once the new name's folder is synced",
         {ExistingFolder("S"), ExistingFolder("I"), Existing(8, "S/m"), Linked(8, "S/m", "I/m"),
          FolderSynced("S"), Removed(8, "S/m"), FolderSynced("S")},
         {{"I", kFolder}, {"S", kFolder}},
         {}},
        {"a journal replaced under its name: the new file once the folder is synced",
         {ExistingFolder("D"), Existing(9, "D/j"), Created(10, "D/j.new"), Synced(10, 1),
          Renamed(10, "D/j.new", "D/j"), FolderSynced("D")},
         {{"D", kFolder}, {"D/j", File(10)}},
         {{10, 1}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const DurableState state = WhatSurvives(c.run);
        EXPECT_EQ(state.names, c.names);
        EXPECT_EQ(state.synced_copy, c.synced_copies);
    }
}

}  // namespace
}  // namespace korvalen::powercut

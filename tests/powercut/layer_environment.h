// How a test tells the power-cut layer what to do: the environment of the tool it starts.
#pragma once

namespace korvalen::powercut {

// The folder whose files the layer follows; without it the layer does nothing.
inline constexpr const char* kRootVariable = "KORVALEN_POWERCUT_ROOT";
// A folder outside the root for the layer's record: "events" and the synced copies.
inline constexpr const char* kStoreVariable = "KORVALEN_POWERCUT_STORE";
// k: the process ends just before its k-th counted call.
inline constexpr const char* kCutAtVariable = "KORVALEN_POWERCUT_AT";
// Planted faults, separated by ';': "nosync", "nosync-folders", "nosync-files",
// "OP:PATH:N:ERROR" (the N-th OP on PATH fails once with ERROR, e.g. ENOSPC). OP is
// "move" (a rename or link into the folder PATH), "read" or "open" (of the file PATH);
// PATH is relative to the root.
inline constexpr const char* kFaultsVariable = "KORVALEN_POWERCUT_FAULTS";

// The exit status of a process the layer ended.
inline constexpr int kCutStatus = 77;

// A synced copy's name in the store.
inline constexpr const char* kEventsName = "events";
inline constexpr const char* kCopyPrefix = "synced-";

}  // namespace korvalen::powercut

// One Korvalen at a time: how a second start notices the running one and finds its window.
#pragma once

#include <windows.h>

namespace korvalen {

// The private message by which a second instance recognises a running one, and the
// answer the main window gives to it.
inline constexpr UINT kInstanceQueryMessage = WM_USER + 1;
inline constexpr LRESULT kInstanceQueryAnswer = 1025;

// Creates the program's named mutex without taking it; the handle stays open until the
// process ends. True when another instance holds it already (or it exists and access to
// it is denied, as for a copy run by another user).
bool AnotherInstanceRuns();

// The main window of a running instance: the first top-level window other than `self`
// that answers the instance query. Each window gets 200 ms, during which this thread
// handles nothing else, so a hung program cannot hold the search up for long.
HWND FindRunningInstance(HWND self);

}  // namespace korvalen

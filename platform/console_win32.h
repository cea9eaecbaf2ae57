// What a Windows service asks of the tools' console side (console_win32.cpp): its stops
// come as the interrupt, and the console's and the session's ends are not its own.
#pragma once

namespace korvalen {

// For a run under the service control manager: WatchInterrupts then watches no console
// and no session (a service runs on through every user's log-off) and interrupts come
// only from RaiseInterrupt. Call before WatchInterrupts.
void TakeInterruptsFromServiceOnly();

// Interrupts as a first Ctrl+C does: the callback of WatchInterrupts is called once, on
// the calling thread; a later call does nothing. Any thread, also before WatchInterrupts,
// which then delivers it at once. Never waits for the run.
void RaiseInterrupt();

}  // namespace korvalen

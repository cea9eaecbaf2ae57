// The system beneath the command-line tools, the same calls on Windows and POSIX.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace korvalen {

// What the command-line tools need of the system they run on.

// The arguments after the program's name, in UTF-8. Windows hands main() its arguments
// in the ANSI code page, which would garble a folder such as D:\Диспетчер\InBox, so
// there they are taken from the UTF-16 command line.
std::vector<std::string> CommandLineArguments(int argc, char** argv);

// Lets a Windows console show the UTF-8 the tools print; nothing elsewhere.
void UseUtf8Console();

bool StandardErrorIsTerminal();
bool StandardOutputIsTerminal();

// Every object of a dump keeps its files open while the pass runs; a dump of a whole
// fleet needs more descriptors than a POSIX shell grants by default.
void AllowManyOpenFiles();

// Calls `on_first_interrupt` at the first interrupt, on a thread where it may set events;
// a second Ctrl+C ends the process at once with status 130. Interrupts are Ctrl+C and
// SIGTERM, and the end of the session the tool runs in: on POSIX the terminal hanging up
// (SIGHUP, unless it is ignored, as under nohup), on Windows the console window closing,
// the user logging off and the system shutting down. Windows ends the process soon after
// those; until then the tool has the time to do what the interrupt asks and to end with
// its own status. Call it once, before the program starts threads of its own.
void WatchInterrupts(std::function<void()> on_first_interrupt);

// The separator the system shows in paths ('\' on Windows, '/' elsewhere); the file
// functions accept a backslash everywhere.
char FolderSeparator();

}  // namespace korvalen

// What the command line needs of its console, on POSIX and on Windows alike: its arguments
// and output as UTF-8, Ctrl-C, the terminal's width, and where the program itself lies.
#pragma once

#include <string>
#include <vector>

namespace baleport {

// The arguments as UTF-8 (on Windows read again from the wide command line, since `argv` is in
// the ANSI code page); sets the console to show UTF-8 output.
std::vector<std::string> Utf8Arguments(int argc, char** argv);

// Installs the Ctrl-C (and SIGTERM, or the console's close) handler that
// TerminalPage::ProcessPendingEvents answers; a second one ends the program at once. With
// `endWaits`, the signal also ends a blocking wait (EINTR) instead of resuming it, for a
// caller that must pass it on at once; otherwise interrupted calls resume, so file I/O never
// sees EINTR.
void CatchInterrupt(bool endWaits = false);
// Ctrl-C ends the program again, as it does by default.
void ReleaseInterrupt();
// Whether Ctrl-C or SIGTERM came since CatchInterrupt.
bool InterruptRequested();

// Whether standard output is a terminal (a console on Windows).
bool OutputIsTerminal();
// Standard output's width in columns; 80 when it is not a terminal.
int TerminalWidth();

// The absolute path of this program, for the processes it starts; empty if unknown.
std::string ProgramPath();

}  // namespace baleport

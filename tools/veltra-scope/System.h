#pragma once
// What the tool needs from the operating system beyond the C++ library: whether an output is a
// terminal and how wide it is, starting itself again with the simulated probe switched on, and
// Ctrl-C as a request to stop.

#include <string>

namespace veltra::scope {

bool StdoutIsTerminal();
bool StderrIsTerminal();
// Columns of the terminal on standard output; 80 when it cannot be told.
int TerminalColumns();

// The library reads VELTRA_SIMULATE once, when it is loaded, which happens before main. So
// --simulate sets the variable and runs this program again with the same arguments; the run
// that already has the variable at spec goes on. Returns only in that run (false) or when the
// program could not be started again (true, with the reason in error); otherwise it exits with
// the exit code of the new run.
bool RelaunchWithSimulation(const std::string& spec, char** argv, std::string& error);

// From now on Ctrl-C (SIGINT, SIGTERM, or the console's control events on Windows) only sets
// the flag that StopRequested reads.
void CatchStopRequests();
bool StopRequested();

// Sleeps for a short while, so that a polling loop leaves the processor to the probe.
void PauseBriefly();

}  // namespace veltra::scope

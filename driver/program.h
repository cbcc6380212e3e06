// The program: what the run is asked to do, read once from the command line and the settings
// file, then the answer to a question (-help, -version, -list) or the exchange.
#pragma once

// Runs the tool on the process's arguments; returns the exit status (0 or 1).
int runProgram(int argc, const char* const* argv);

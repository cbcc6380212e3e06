// The whole run of the tool: options, byte tokens, recording, sending, waiting for the
// answer, listing it and waiting for Esc.
#pragma once

// Runs the tool on the process's arguments; returns the exit status (0 or 1).
int runExchange(int argc, const char* const* argv);

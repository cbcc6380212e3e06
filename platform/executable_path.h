// The running executable's own path, for the services that look beside it (the settings
// file, the MIDI system's module). The one place that asks the system for it.
#pragma once

#include <string>

// The full path, however long; empty when it cannot be had whole (a path cut short would
// name another directory).
std::string executablePath();

// The running executable's own path, for the services that look beside it.
#pragma once

#include <string>

// The path as the kernel reports it, however long; empty when it cannot be read.
std::string executablePath();

// The usage text, shown after every error and before every exchange.
#pragma once

// Writes the usage text to standard output.
void printUsage();

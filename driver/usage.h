// The usage text, shown after every error and before every exchange.
#pragma once

// Writes the usage text to standard output; false (errno telling why) when it did not arrive.
bool printUsage();

// The options that answer a question about the tool instead of running an exchange.
#pragma once

struct OptionTable;

// Whether table asks for -help or -version. A run whose command line does touches no MIDI
// device, not even to look up a device's name.
bool asksForInfo(const OptionTable& table);

// Prints the usage text and one line for each option, or the version line, when the parsed
// table asks for either (-help wins); true when it printed, and the run ends there.
bool printRequestedInfo(const OptionTable& table);

// The options that answer a question about the tool instead of running an exchange.
#pragma once

struct OptionTable;

// Keeps -help and -version out of the settings file. True when the command line (read alone,
// commandLineAlone) asks for either: the run then touches no MIDI device, not even to look up
// a device's name.
bool prepareInfoOptions(OptionTable& table, const OptionTable& commandLine);

// Prints the usage text and one line for each option, or the version line, when the parsed
// table asks for either (-help wins); true when it printed, and the run ends there.
bool printRequestedInfo(const OptionTable& table);

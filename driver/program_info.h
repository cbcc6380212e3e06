// The options that answer a question about the tool instead of running an exchange.
#pragma once

struct OptionTable;

// Whether table asks for -help or -version. A run whose command line does touches no MIDI
// device, not even to look up a device's name.
bool asksForInfo(const OptionTable& table);

enum class InfoPrint {
    None,         // neither was asked for: the run goes on
    Printed,      // the run ends there, status 0
    WriteFailed,  // standard output refused the text (errno says why)
};

// Prints the usage text and one line for each option, or the version line, when the parsed
// table asks for either (-help wins).
InfoPrint printRequestedInfo(const OptionTable& table);

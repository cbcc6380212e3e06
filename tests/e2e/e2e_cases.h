// The end-to-end cases: one table for the Linux executable and for the Windows executable
// under Wine.
#pragma once

#include <string>
#include <vector>

struct E2eCase {
    std::string name;
    std::vector<std::string> args;
    bool withSettings = false;
    std::string settings;  // contents of midiparley.ini beside the executable
    std::string input;     // bytes on standard input
    int status = 0;
    std::string out;
    std::string err;
    bool needsMidi = false;    // needs the virtual instrument as devices 0
    bool needsNoMidi = false;  // needs a system without MIDI devices (Wine)
};

// The usage text as the tool prints it.
extern const std::string kUsage;

std::vector<E2eCase> e2eCases();

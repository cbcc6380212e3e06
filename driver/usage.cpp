#include "driver/usage.h"

#include <cstdio>

bool printUsage() {
    return std::fputs(
               "usage: midiparley [-midiout=#] [-midiin=#] [-timeout=seconds] F0 ... F7\n"
               "e.g. midiparley -midiout=0 -midiin=0 F0 7E 7F 06 01 F7\n"
               "default MIDI devices are 0\n"
               "default timeout is 5 seconds\n"
               "the hexadecimal sysex is optional and will be sent to midi out\n"
               "and then within timeout the program waits for a sysex answer\n",
               stdout) != EOF &&
           std::fflush(stdout) == 0;
}

// Lines about the machine's MIDI system that the user should see: that it did not answer,
// went away or cannot be opened, or that its module did not load. The layer writes none
// itself: they go, one line at a time and from whichever thread notices, to the function the
// program installs, which writes them as it writes its own report lines. Until one is
// installed they go to standard error as they are. Windows' own MIDI services report nothing.
#pragma once

// `line` has no line end.
typedef void (*MidiSystemReporter)(const char* line);
void setMidiSystemReporter(MidiSystemReporter reporter);

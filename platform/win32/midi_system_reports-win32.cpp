#include "platform/midi_system_reports.h"

// Windows' MIDI services have nothing of this layer's to report.
void setMidiSystemReporter(MidiSystemReporter) {}

// The tool's options: -midiout, -midiin, -timeout (numbers) and up to 1000 hexadecimal byte
// tokens, also read from the settings file as hexsysex1 ... hexsysex1000.
#pragma once

#include <cstdint>

struct OptionTable;

// The most bytes a message can have: one per positional argument the parser accepts.
constexpr int32_t kMaxMessageBytes = 1000;

// Registers the tool's options and positional arguments in table.
void declareProgramOptions(OptionTable& table);

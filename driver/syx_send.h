// Sending the messages of a -send file, each whole and in order: those of a .syx file with a
// gap between them, those of a .mid file at their times.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "driver/paced_parts.h"
#include "driver/send_file.h"

// The error line (without "error: ") for the first message of file longer than a long
// message can be on this system; empty when every message fits.
std::string oversizedMessageError(const FileToSend& file, const std::string& path);

// Sends every message of file to outDevice, each paced by pace, and reports the send; false (with
// the error written) when the device does not open or a send fails. A .syx file's messages go gapMs
// apart; a .mid file's at their times, counted from when its first message has gone out.
// meanwhile, when given, runs after each message and about every millisecond of a wait
// between them (to keep the answers coming in).
bool sendFile(const FileToSend& file, const std::string& path, int32_t outDevice, int32_t gapMs,
              const Pace& pace, const std::function<void()>& meanwhile = {});

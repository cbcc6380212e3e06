// Sending the messages of a .syx file, each whole and in order, with a gap between them.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "driver/paced_parts.h"
#include "driver/syx_file.h"

// The error line (without "error: ") for the first message of file longer than a long
// message can be on this system; empty when every message fits.
std::string oversizedMessageError(const SyxFile& file, const std::string& path);

// Sends every message of file to outDevice, each paced by pace, with gapMs between messages,
// and reports the send; false (with the error written) when the device does not open or a
// send fails. afterEach, when given, runs after each message (to keep the answers coming in
// meanwhile).
bool sendSyxFile(const SyxFile& file, const std::string& path, int32_t outDevice, int32_t gapMs,
                 const Pace& pace, const std::function<void()>& afterEach = {});

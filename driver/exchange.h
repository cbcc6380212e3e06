// The exchange: byte tokens, recording, sending, waiting for the answer, listing it and
// waiting for Esc.
#pragma once

#include "driver/device_choice.h"
#include "driver/run_request.h"

// Runs the exchange that request asks for with the devices chosen; returns the exit status
// (0 or 1).
int runExchange(const RunRequest& request, const ChosenDevices& devices);

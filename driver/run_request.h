// What one run is asked to do, read once from the command line and the settings file (the
// settings file beneath the command line). Devices are text here, a number or a name: names
// are looked up later (driver/device_choice.h), once the run's kind is known, so that a
// listing or a help text touches no device and a name the command line overrides is never
// looked up.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "driver/paced_parts.h"
#include "driver/roland_checksum.h"
#include "options/option_table.h"
#include "platform/windows_api.h"

enum class RunKind {
    Exchange,  // record, send, wait for the answer, list it
    List,      // -list
    Help,      // -help
    Version,   // -version
};

// The options for whole bulk dumps and .syx files: -idle, -save, -send and -gap.
struct BulkOptions {
    DWORD idleMs = 0;  // 0: the wait ends at the first buffer holding F7
    bool save = false;
    std::string savePath;  // as given: relative to the current directory
    bool send = false;
    std::string sendPath;
    int32_t gapMs = 0;
};

// The SysEx workbench: -pace, -checksum and -identify.
struct WorkbenchOptions {
    Pace pace;              // every message sent goes out in these parts
    ChecksumRule checksum;  // CS in the typed message; received DT1 messages checked
    bool identify = false;  // send the identity request and name who answers
};

// A device as given: a number, or a name (when `name` is not empty).
struct DeviceRequest {
    int32_t number = 0;
    std::string name;
};

struct RunRequest {
    RunKind kind = RunKind::Exchange;
    bool quiet = false;
    DeviceRequest outDevice;
    DeviceRequest inDevice;
    // Every name given to -midiout or -midiin that counts, in the order given: one from the
    // settings file counts only when the command line does not give that option.
    std::vector<NameValue> deviceNames;
    int32_t timeoutSeconds = 5;
    BulkOptions bulk;
    WorkbenchOptions workbench;
    std::vector<std::string>
        message;  // the byte tokens: the settings file's, then the command line's
    bool messageOnCommandLine = false;
};

// Reads the run's request. False, with errorText holding the option parser's message, when
// the command line or the settings file holds a value it refuses; the request then holds what
// was read up to there (its kind, -quiet, the device names).
bool readRunRequest(int argc, const char* const* argv, RunRequest& request, std::string& errorText);

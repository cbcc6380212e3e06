#include "driver/device_list.h"

#include <string>
#include <vector>

#include "driver/name_text.h"
#include "driver/report.h"
#include "platform/device_names.h"

namespace {

std::string deviceLines(const char* heading, const std::vector<std::string>& names) {
    const bool utf8 = deviceNamesAreUtf8();
    std::string text = heading;
    for (size_t i = 0; i < names.size(); ++i) {
        text += std::to_string(i) + ": " + terminalText(names[i], utf8) + "\n";
    }
    return text;
}

}  // namespace

bool printDeviceList() {
    return writeResult(deviceLines("MIDI input devices:\n", inputDeviceNames()) +
                       deviceLines("MIDI output devices:\n", outputDeviceNames()));
}

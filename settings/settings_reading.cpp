#include "settings/settings_reading.h"

#include <algorithm>
#include <memory>
#include <new>

#include "options/option_table.h"
#include "platform/windows_api.h"
#include "settings/settings_path.h"

namespace {

constexpr int32_t kNumberedKeys = 1000;
// A value is at most 1023 characters; the profile reader cuts a longer one.
constexpr DWORD kValueBuffer = 1024;

}  // namespace

const std::string& notSetMarker() {
    static const std::string marker("\x01\x02\x03\x04", 4);
    return marker;
}

bool readSettings(const std::string& section, OptionTable& table, const std::string& path,
                  std::string& errorText) {
    const std::string& notSet = notSetMarker();
    errorText.clear();
    for (OptionSpec& spec : table.specs) {
        if (spec.name.empty() || spec.commandLineOnly) {
            continue;
        }
        const std::string value = readSettingsValue(section, path, spec.name);
        if (value == notSet) {
            continue;
        }
        if (!table.storeValue(spec, value, errorText)) {
            return false;
        }
    }
    // Every number is read, so a gap in the numbering skips only the missing keys, and the
    // order is that of the numbers, not of the lines in the file.
    for (int32_t n = 1; n <= kNumberedKeys; ++n) {
        const std::string value =
            readSettingsValue(section, path, table.positionalName + numberText(n));
        if (value == notSet || value.empty()) {
            continue;
        }
        table.positionals.push_back(value);
    }
    return true;
}

std::string readSettingsValue(const std::string& section, const std::string& path,
                              const std::string& key) {
    const std::string& notSet = notSetMarker();
    if (path.empty() || section.empty() || key.empty()) {
        return notSet;
    }
    // A bare file name would make the profile reader look in the system directory.
    const std::string file = isAbsolutePath(path) ? path : normalizePath(path);
    std::unique_ptr<char[]> buffer(new (std::nothrow) char[kValueBuffer]);
    if (!buffer) {
        return notSet;
    }
    buffer[0] = '\0';
    const DWORD count = GetPrivateProfileStringA(section.c_str(), key.c_str(), notSet.c_str(),
                                                 buffer.get(), kValueBuffer, file.c_str());
    // A value that did not fit comes back cut to the buffer less one byte.
    return count > 0 ? std::string(buffer.get(), std::min(count, kValueBuffer - 1)) : notSet;
}

std::string numberText(int32_t number) {
    char text[20];
    sprintf_s(text, sizeof text, "%ld", static_cast<long>(number));
    return text;
}

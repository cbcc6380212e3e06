#include "settings/settings_reading.h"

#include <algorithm>

#include "platform/profile_reads.h"
#include "platform/windows_api.h"
#include "settings/settings_path.h"

namespace {

constexpr int32_t kNumberedKeys = 1000;
// A value is at most 1023 characters; the profile reader cuts a longer one.
constexpr DWORD kValueBuffer = 1024;

ProfileReader profileReader = GetPrivateProfileStringA;

}  // namespace

void useProfileReader(ProfileReader reader) {
    profileReader = reader != nullptr ? reader : GetPrivateProfileStringA;
}

const std::string& notSetMarker() {
    static const std::string marker("\x01\x02\x03\x04", 4);
    return marker;
}

namespace {

// The path as the profile reader takes it: a bare file name would make it look in the system
// directory.
std::string readerPath(const std::string& path) {
    return isAbsolutePath(path) ? path : normalizePath(path);
}

// The value of key in section of file (a path as readerPath gives it); false when the key is
// not set, which is what most of the thousand numbered keys are: no string is made for them.
bool readValue(const std::string& section, const std::string& file, const char* key,
               std::string& value) {
    const std::string& notSet = notSetMarker();
    char buffer[kValueBuffer];
    buffer[0] = '\0';
    DWORD count =
        profileReader(section.c_str(), key, notSet.c_str(), buffer, kValueBuffer, file.c_str());
    // A value that did not fit comes back cut to the buffer less one byte.
    count = std::min(count, kValueBuffer - 1);
    if (count == 0 || (count == notSet.size() && notSet.compare(0, count, buffer, count) == 0)) {
        return false;
    }
    value.assign(buffer, count);
    return true;
}

// readSettings' reads, of a path as readerPath gives it.
bool readKeys(const std::string& section, const std::string& file, const SettingsKeys& keys,
              const SettingsValueStore& store, std::vector<std::string>& numbered,
              std::string& errorText) {
    std::string value;
    for (size_t index = 0; index < keys.names.size(); ++index) {
        const std::string& name = keys.names[index];
        if (name.empty() || !readValue(section, file, name.c_str(), value)) {
            continue;
        }
        if (!store(index, value, errorText)) {
            return false;
        }
    }
    // Every number is read, so a gap in the numbering skips only the missing keys, and the
    // order is that of the numbers, not of the lines in the file.
    std::string key = keys.numberedStem + "1000";
    const size_t stem = keys.numberedStem.size();
    for (int32_t n = 1; n <= kNumberedKeys; ++n) {
        // n in decimal, written here: a formatting call for each of a thousand keys costs
        // more than the lookup.
        char digits[8];
        char* first = digits + sizeof digits;
        for (int32_t rest = n; rest > 0; rest /= 10) {
            *--first = static_cast<char>('0' + rest % 10);
        }
        key.replace(stem, std::string::npos, first,
                    static_cast<size_t>(digits + sizeof digits - first));
        if (readValue(section, file, key.c_str(), value)) {
            numbered.push_back(value);
        }
    }
    return true;
}

}  // namespace

bool readSettings(const std::string& section, const std::string& path, const SettingsKeys& keys,
                  const SettingsValueStore& store, std::vector<std::string>& numbered,
                  std::string& errorText) {
    errorText.clear();
    if (path.empty() || section.empty()) {
        return true;
    }
    // A thousand keys and more are read: the path is made ready for the reader once, and the
    // reader may answer them all from one look at the file.
    beginProfileReads();
    const bool read = readKeys(section, readerPath(path), keys, store, numbered, errorText);
    endProfileReads();
    return read;
}

std::string readSettingsValue(const std::string& section, const std::string& path,
                              const std::string& key) {
    if (path.empty() || section.empty() || key.empty()) {
        return notSetMarker();
    }
    std::string value;
    return readValue(section, readerPath(path), key.c_str(), value) ? value : notSetMarker();
}

std::string numberText(int32_t number) {
    char text[20];
    sprintf_s(text, sizeof text, "%ld", static_cast<long>(number));
    return text;
}

#include "fuzz/memory_settings.h"

#include "platform/posix/profile_parse.h"
#include "settings/settings_reading.h"

namespace {

ParsedProfile memoryProfile;

}  // namespace

DWORD WINAPI readMemorySettings(LPCSTR section, LPCSTR key, LPCSTR defaultValue, LPSTR returned,
                                DWORD size, LPCSTR) {
    return profileStringFrom(&memoryProfile, section, key, defaultValue, returned, size);
}

const std::string& useMemorySettings(const std::string& contents) {
    static const std::string path = "/in-memory/midiparley.ini";
    memoryProfile = parseProfileText(contents);
    useProfileReader(readMemorySettings);
    return path;
}

void useFileSettings() {
    useProfileReader(nullptr);
}

bool throughRealFile(const uint8_t* data, size_t size) {
    uint32_t hash = 2166136261u;
    for (size_t i = 0; i < size; ++i) {
        hash = (hash ^ data[i]) * 16777619u;
    }
    return hash % 64 == 0;
}

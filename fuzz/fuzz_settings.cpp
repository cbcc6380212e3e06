// Reading a settings file with the program's option table, and the profile reader itself
// with small buffers. The first byte is the size of the small buffer (its low seven bits) and
// whether the default value ends in blanks (its high bit). Then come a section name and a key
// name, each ended by a NUL; the rest is the file. Without those two NULs the whole rest is
// the file and the names are "Settings" and "midiout". The file is served from memory; about
// one input in 64 also goes through a real file, which must give the same answers.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "fuzz/memory_settings.h"
#include "options/command_line_parse.h"
#include "options/option_table.h"
#include "platform/windows_api.h"
#include "settings/settings_reading.h"

namespace {

// What the settings section made of the program's table: the error, the values and the positionals.
typedef std::tuple<std::string, std::map<std::string, std::string>, std::vector<std::string>>
    SettingsRead;

SettingsRead checkReadSettings(const std::string& path) {
    OptionTable table;
    declareProgramOptions(table);
    std::string error = "stale";
    const bool ok = applySettingsSection(table, "Settings", path, error);
    const SettingsRead read(error, table.values, table.positionals);
    const std::string needsNumber = "option needs a number value: -";
    const std::string tooLarge = "number too large: -";
    const std::string needsBoolean = "option needs a value true/false/yes/no/1/0: -";
    if (!ok) {
        const auto startsWith = [&](const std::string& prefix) {
            return error.compare(0, prefix.size(), prefix) == 0;
        };
        if (startsWith(needsNumber)) {
            FUZZ_CHECK(isNumericOption(error.substr(needsNumber.size())));
        } else if (startsWith(tooLarge)) {
            FUZZ_CHECK(isOptionOfType(error.substr(tooLarge.size()), OptionType::Decimal));
        } else {
            FUZZ_CHECK(startsWith(needsBoolean));
            FUZZ_CHECK(isOptionOfType(error.substr(needsBoolean.size()), OptionType::Boolean));
        }
        // The numbered keys are not read after a refused value.
        FUZZ_CHECK(table.positionals.empty());
        return read;
    }
    FUZZ_CHECK(error.empty());
    checkStoredValues(table);
    FUZZ_CHECK(table.positionals.size() <= 1000);
    for (const std::string& value : table.positionals) {
        FUZZ_CHECK(!value.empty() && value != notSetMarker() && value.size() <= 1023);
    }
    return read;
}

// The value of one key read into a buffer of every size: each result is the start of the
// whole value, as long as fits with its terminator, and nothing is written beyond. Returns
// the whole value.
std::string checkProfileReader(ProfileReader read, const std::string& section,
                               const std::string& key, const char* fallback, DWORD smallSize,
                               const std::string& path, size_t fileSize) {
    const DWORD wholeSize = static_cast<DWORD>(fileSize + 64);
    std::unique_ptr<char[]> whole(new char[wholeSize]);
    const DWORD wholeCount =
        read(section.c_str(), key.c_str(), fallback, whole.get(), wholeSize, path.c_str());
    FUZZ_CHECK(wholeCount < wholeSize && whole[wholeCount] == '\0');

    // Exactly smallSize bytes on the heap (none for 0), so a write past them is caught.
    std::unique_ptr<char[]> small(new char[smallSize]);
    const DWORD count =
        read(section.c_str(), key.c_str(), fallback, small.get(), smallSize, path.c_str());
    if (smallSize == 0) {
        FUZZ_CHECK(count == 0);
    } else {
        FUZZ_CHECK(count == std::min<DWORD>(wholeCount, smallSize - 1));
        FUZZ_CHECK(small[count] == '\0');
        FUZZ_CHECK(std::memcmp(small.get(), whole.get(), count) == 0);
    }
    // Listing names is not offered: an empty list that fits the buffer.
    FUZZ_CHECK(read(nullptr, key.c_str(), fallback, small.get(), smallSize, path.c_str()) == 0);

    const std::string value = readSettingsValue(section, path, key);
    FUZZ_CHECK(value.size() <= 1023);
    return std::string(whole.get(), wholeCount);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) {
        return 0;
    }
    const DWORD smallSize = data[0] & 0x7F;
    const char* fallback = (data[0] & 0x80) ? "fallback  " : notSetMarker().c_str();
    const char* rest = reinterpret_cast<const char*>(data + 1);
    const char* end = rest + (size - 1);

    std::string section = "Settings";
    std::string key = "midiout";
    const char* firstNul = std::find(rest, end, '\0');
    const char* secondNul = firstNul == end ? end : std::find(firstNul + 1, end, '\0');
    if (secondNul != end) {
        section.assign(rest, firstNul);
        key.assign(firstNul + 1, secondNul);
        rest = secondNul + 1;
    }
    const std::string contents(rest, end);
    const std::string& inMemory = useMemorySettings(contents);
    const SettingsRead read = checkReadSettings(inMemory);
    const std::string value = checkProfileReader(readMemorySettings, section, key, fallback,
                                                 smallSize, inMemory, contents.size());
    if (throughRealFile(data, size)) {
        const std::string& path = writeScratchSettings(contents);
        useFileSettings();
        FUZZ_CHECK(checkReadSettings(path) == read);
        FUZZ_CHECK(checkProfileReader(GetPrivateProfileStringA, section, key, fallback, smallSize,
                                      path, contents.size()) == value);
    }
    return 0;
}

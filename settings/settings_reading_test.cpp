#include "settings/settings_reading.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <utility>

#include "settings/settings_test_support.h"

namespace fs = std::filesystem;

namespace {

using Tokens = std::vector<std::string>;

// What readSettings handed over: the named values as "name=value" in the order stored, and the
// numbered ones.
struct Found {
    bool ok = false;
    std::string error = "stale";
    Tokens named;
    Tokens numbered;
};

// Reads the tool's keys from path (an empty name among them); the store refuses the value
// refused. numbered holds what was there before.
Found readToolKeys(const std::string& path, const std::string& refused = "", Tokens numbered = {}) {
    const SettingsKeys keys{{"midiout", "", "midiin", "timeout"}, "hexsysex"};
    Found found;
    found.numbered = std::move(numbered);
    const SettingsValueStore store = [&](size_t index, const std::string& value,
                                         std::string& error) {
        if (value == refused) {
            error = "refused " + keys.names[index];
            return false;
        }
        found.named.push_back(keys.names[index] + "=" + value);
        return true;
    };
    found.ok = readSettings("Settings", path, keys, store, found.numbered, found.error);
    return found;
}

}  // namespace

TEST(ReadSettings, MissingFileOrEmptyPathReadsNothing) {
    for (const std::string path : {"/nonexistent/dir/midiparley.ini", ""}) {
        const Found found = readToolKeys(path);
        EXPECT_TRUE(found.ok);
        EXPECT_EQ(found.error, "");
        EXPECT_TRUE(found.named.empty());
        EXPECT_TRUE(found.numbered.empty());
    }
}

TEST(ReadSettings, NamedKeysInTheOrderAskedFor) {
    TemporarySettingsFile file("[Other]\nmidiout=9\n[Settings]\ntimeout=10\nmidiin=2\nmidiout=1\n");
    const Found found = readToolKeys(file.path.string());
    EXPECT_TRUE(found.ok);
    EXPECT_EQ(found.named, (Tokens{"midiout=1", "midiin=2", "timeout=10"}));
}

TEST(ReadSettings, EmptyValueCountsAsAbsent) {
    TemporarySettingsFile file("[Settings]\ntimeout=\nhexsysex1=\nhexsysex2=F0\n");
    const Found found = readToolKeys(file.path.string());
    EXPECT_TRUE(found.named.empty());
    EXPECT_EQ(found.numbered, Tokens{"F0"});
}

TEST(ReadSettings, RefusedValueStopsBeforeTheNumberedKeys) {
    TemporarySettingsFile file("[Settings]\nmidiout=4\ntimeout=abc\nhexsysex1=F0\n");
    const Found found = readToolKeys(file.path.string(), "abc");
    EXPECT_FALSE(found.ok);
    EXPECT_EQ(found.error, "refused timeout");
    EXPECT_EQ(found.named, Tokens{"midiout=4"}) << "earlier values stay";
    EXPECT_TRUE(found.numbered.empty());
}

TEST(ReadSettings, NumberedKeysInNumericOrderWithGapsAppended) {
    TemporarySettingsFile file(
        "[Settings]\nhexsysex2=F7\nhexsysex1=F0\nhexsysex5=7E\nhexsysex0=00\n"
        "hexsysex1000=01\nhexsysex1001=02\n");
    const Found found = readToolKeys(file.path.string(), "", {"x"});
    EXPECT_EQ(found.numbered, (Tokens{"x", "F0", "F7", "7E", "01"}));
}

TEST(ReadSettingsValue, LongValuesAreCutTo1023Characters) {
    TemporarySettingsFile file("[Settings]\nlong=" + std::string(1500, 'a') + "\n");
    const std::string value = readSettingsValue("Settings", file.path.string(), "long");
    EXPECT_EQ(value, std::string(1023, 'a'));
}

TEST(ReadSettingsValue, AbsentOrEmptyGivesTheMarker) {
    TemporarySettingsFile file("[Settings]\nempty=\nmarker=\x01\x02\x03\x04\nvalue=x\n");
    const std::string path = file.path.string();
    EXPECT_EQ(notSetMarker(), std::string("\x01\x02\x03\x04", 4));
    EXPECT_EQ(readSettingsValue("Settings", path, "value"), "x");
    EXPECT_EQ(readSettingsValue("Settings", path, "empty"), notSetMarker());
    EXPECT_EQ(readSettingsValue("Settings", path, "absent"), notSetMarker());
    EXPECT_EQ(readSettingsValue("Settings", path, "marker"), notSetMarker());
    EXPECT_EQ(readSettingsValue("Missing", path, "value"), notSetMarker());
    EXPECT_EQ(readSettingsValue("", path, "value"), notSetMarker());
    EXPECT_EQ(readSettingsValue("Settings", path, ""), notSetMarker());
    EXPECT_EQ(readSettingsValue("Settings", "", "value"), notSetMarker());
}

TEST(ReadSettingsValue, RelativePathIsTakenFromTheCurrentDirectory) {
    TemporarySettingsFile file("[Settings]\nvalue=here\n");
    const fs::path previous = fs::current_path();
    fs::current_path(file.directory);
    const std::string value = readSettingsValue("Settings", "midiparley.ini", "value");
    fs::current_path(previous);
    EXPECT_EQ(value, "here");
}

TEST(NumberText, DecimalOfThe32BitRange) {
    EXPECT_EQ(numberText(1), "1");
    EXPECT_EQ(numberText(1000), "1000");
    EXPECT_EQ(numberText(-2147483647 - 1), "-2147483648");
    EXPECT_EQ(numberText(2147483647), "2147483647");
}

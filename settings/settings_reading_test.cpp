#include "settings/settings_reading.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "options/option_table.h"
#include "settings/settings_test_support.h"

namespace fs = std::filesystem;

namespace {

using Tokens = std::vector<std::string>;

}  // namespace

TEST(ReadSettings, MissingFileAppliesNothing) {
    OptionTable table = numberOptionTable();
    std::string error = "stale";
    EXPECT_TRUE(readSettings("Settings", table, "/nonexistent/dir/midiparley.ini", error));
    EXPECT_EQ(error, "");
    EXPECT_TRUE(table.values.empty());
    EXPECT_TRUE(table.positionals.empty());
    EXPECT_TRUE(readSettings("Settings", table, "", error));
    EXPECT_TRUE(table.values.empty());
}

TEST(ReadSettings, NamedOptionsAreStoredAndMarkedSet) {
    TemporarySettingsFile file("[Other]\nmidiout=9\n[Settings]\nmidiout=1\nmidiin=2\ntimeout=10\n");
    OptionTable table = numberOptionTable();
    std::string error;
    EXPECT_TRUE(readSettings("Settings", table, file.path.string(), error));
    EXPECT_EQ(table.getInt("midiout", 0), 1);
    EXPECT_EQ(table.getInt("midiin", 0), 2);
    EXPECT_EQ(table.getInt("timeout", 5), 10);
    for (const OptionSpec& spec : table.specs) {
        EXPECT_TRUE(spec.isSet) << spec.name;
    }
}

TEST(ReadSettings, EmptyValueCountsAsAbsent) {
    TemporarySettingsFile file("[Settings]\ntimeout=\nhexsysex1=\nhexsysex2=F0\n");
    OptionTable table = numberOptionTable();
    std::string error;
    EXPECT_TRUE(readSettings("Settings", table, file.path.string(), error));
    EXPECT_EQ(table.values.count("timeout"), 0u);
    EXPECT_FALSE(table.specs[2].isSet);
    EXPECT_EQ(table.positionals, Tokens{"F0"});
}

TEST(ReadSettings, RefusedValueStopsBeforeTheNumberedKeys) {
    TemporarySettingsFile file("[Settings]\nmidiout=4\ntimeout=abc\nhexsysex1=F0\n");
    OptionTable table = numberOptionTable();
    std::string error;
    EXPECT_FALSE(readSettings("Settings", table, file.path.string(), error));
    EXPECT_EQ(error, "option needs a number value: -timeout");
    EXPECT_EQ(table.getText("midiout", ""), "4") << "earlier values stay";
    EXPECT_TRUE(table.positionals.empty());
}

TEST(ReadSettings, NumberedKeysInNumericOrderWithGaps) {
    TemporarySettingsFile file(
        "[Settings]\nhexsysex2=F7\nhexsysex1=F0\nhexsysex5=7E\nhexsysex0=00\n"
        "hexsysex1000=01\nhexsysex1001=02\n");
    OptionTable table = numberOptionTable();
    table.maxPositional = 1;  // the limits do not apply to the file
    std::string error;
    EXPECT_TRUE(readSettings("Settings", table, file.path.string(), error));
    EXPECT_EQ(table.positionals, (Tokens{"F0", "F7", "7E", "01"}));
}

TEST(ReadSettings, FilePositionalsComeBeforeExistingOnesAreAppended) {
    TemporarySettingsFile file("[Settings]\nhexsysex1=F0\nhexsysex2=7E\n");
    OptionTable table = numberOptionTable();
    table.positionals = {"x"};
    std::string error;
    EXPECT_TRUE(readSettings("Settings", table, file.path.string(), error));
    EXPECT_EQ(table.positionals, (Tokens{"x", "F0", "7E"}));
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

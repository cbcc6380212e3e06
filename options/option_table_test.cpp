#include "options/option_table.h"

#include <gtest/gtest.h>

namespace {

OptionSpec makeSpec(const std::string& registration, OptionType type) {
    OptionSpec spec;
    spec.assignName(registration);
    spec.type = type;
    spec.takesValue = true;
    return spec;
}

}  // namespace

TEST(AssignName, StarsAreRemovedAndTheFirstSetsTheShortestAbbreviation) {
    struct Case {
        const char* text;
        const char* name;
        int32_t minPrefix;
    };
    for (const Case& c : {Case{"midi*out", "midiout", 4}, Case{"a*b*c", "abc", 1},
                          Case{"*abc", "abc", 0}, Case{"abc", "abc", 0}, Case{"", "", 0}}) {
        OptionSpec spec;
        spec.minPrefix = 9;
        spec.required = true;
        spec.assignName(c.text);
        EXPECT_EQ(spec.name, c.name) << c.text;
        EXPECT_EQ(spec.minPrefix, c.minPrefix) << c.text;
        EXPECT_TRUE(spec.required) << "assignName touches only name and minPrefix";
    }
}

TEST(OptionSpec, DefaultsAreEmptyTextAndFalse) {
    const OptionSpec spec;
    EXPECT_EQ(spec.name, "");
    EXPECT_EQ(spec.type, OptionType::Text);
    EXPECT_FALSE(spec.required || spec.needsValue || spec.isSet || spec.takesValue);
    EXPECT_EQ(spec.minPrefix, 0);
}

TEST(AddOption, KeepsCopiesInOrderIncludingRepeatedNames) {
    OptionTable table;
    OptionSpec spec = makeSpec("x", OptionType::Number);
    spec.needsValue = true;
    table.addOption(spec);
    spec.assignName("x");
    spec.type = OptionType::Boolean;
    table.addOption(spec);
    ASSERT_EQ(table.specs.size(), 2u);
    EXPECT_EQ(table.specs[0].type, OptionType::Number);
    EXPECT_EQ(table.specs[1].type, OptionType::Boolean);
    EXPECT_FALSE(table.specs[0].needsValue);

    std::string error;
    EXPECT_TRUE(table.storeValue(table.specs[0], "3", error));
    EXPECT_TRUE(table.storeValue(table.specs[1], "yes", error));
    EXPECT_EQ(table.values.size(), 1u) << "two specs of one name share one value";
    EXPECT_EQ(table.getText("x", ""), "yes");
}

TEST(GetInt, ReadsWholeNumbersOrGivesTheDefault) {
    OptionTable table;
    table.valueRef("padded") = " 12 ";
    table.valueRef("suffix") = "12a";
    table.valueRef("empty") = "";
    table.valueRef("exp") = "3e2";
    table.valueRef("negative") = "-1";
    EXPECT_EQ(table.getInt("padded", 5), 12);
    EXPECT_EQ(table.getInt("suffix", 5), 5);
    EXPECT_EQ(table.getInt("empty", 5), 5);
    EXPECT_EQ(table.getInt("exp", 5), 300);
    EXPECT_EQ(table.getInt("negative", 5), 5);
    EXPECT_EQ(table.getInt("never", 5), 5);
    EXPECT_EQ(table.values.count("never"), 0u) << "reading never inserts";
}

TEST(GetTextAndGetBool, EmptyStoredTextIsNotTheDefault) {
    OptionTable table;
    table.valueRef("empty") = "";
    table.valueRef("yes") = " Yes ";
    table.valueRef("word") = "maybe";
    EXPECT_EQ(table.getText("empty", "default"), "");
    EXPECT_EQ(table.getText("never", "default"), "default");
    EXPECT_TRUE(table.getBool("yes"));
    EXPECT_FALSE(table.getBool("word"));
    EXPECT_FALSE(table.getBool("empty"));
    EXPECT_FALSE(table.getBool("never"));
}

TEST(StoreValue, TestsTheTypeAndKeepsTheRawText) {
    OptionTable table;
    table.addOption(makeSpec("timeout", OptionType::Number));
    table.addOption(makeSpec("verbose", OptionType::Boolean));
    table.addOption(makeSpec("name", OptionType::Text));
    OptionSpec& timeout = table.specs[0];
    OptionSpec& verbose = table.specs[1];
    OptionSpec& name = table.specs[2];
    std::string error = "stale";

    EXPECT_TRUE(table.storeValue(timeout, "12  ", error));
    EXPECT_EQ(table.getText("timeout", ""), "12  ");
    EXPECT_EQ(table.getInt("timeout", 0), 12);
    EXPECT_TRUE(timeout.isSet);

    for (const char* bad : {"", "abc", "1.5", "-3", "3e9", "12 x"}) {
        EXPECT_FALSE(table.storeValue(timeout, bad, error)) << bad;
        EXPECT_EQ(error, "option needs a number value: -timeout");
        EXPECT_EQ(table.getText("timeout", ""), "12  ") << "a refused value is not stored";
    }

    EXPECT_FALSE(verbose.isSet);
    EXPECT_FALSE(table.storeValue(verbose, "maybe", error));
    EXPECT_EQ(error, "option needs a value true/false/yes/no/1/0: -verbose");
    EXPECT_FALSE(verbose.isSet);
    EXPECT_TRUE(table.storeValue(verbose, "Nein", error));
    EXPECT_TRUE(verbose.isSet);
    EXPECT_FALSE(table.getBool("verbose"));

    EXPECT_TRUE(table.storeValue(name, "", error));
    EXPECT_TRUE(name.isSet);
    EXPECT_EQ(table.values.count("name"), 1u);
}

TEST(OptionTable, FreshTableDefaults) {
    const OptionTable table;
    EXPECT_EQ(table.maxPositional, 0);
    EXPECT_EQ(table.minPositional, 0);
    EXPECT_FALSE(table.acceptUndeclared);
    EXPECT_TRUE(table.noSettingsOption.empty() && table.settingsPathOption.empty());
}

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <vector>

#include "options/command_line_parse.h"
#include "options/option_table.h"
#include "options/parser_messages.h"
#include "settings/settings_test_support.h"

namespace fs = std::filesystem;

namespace {

// Three number options taking values and up to 1000 positional arguments under "hexsysex",
// as the tool declares them.
OptionTable numberOptionTable() {
    OptionTable table;
    for (const char* name : {"midiout", "midiin", "timeout"}) {
        OptionSpec spec;
        spec.assignName(name);
        spec.type = OptionType::Number;
        spec.takesValue = true;
        table.addOption(spec);
    }
    table.positionalName = "hexsysex";
    table.maxPositional = 1000;
    return table;
}

OptionSpec makeSpec(const std::string& registration, OptionType type, bool takesValue) {
    OptionSpec spec;
    spec.assignName(registration);
    spec.type = type;
    spec.takesValue = takesValue;
    return spec;
}

struct Outcome {
    bool ok;
    std::string error;
};

// Parses tokens (the program path is added in front) with no settings file.
Outcome parseTokens(OptionTable& table, std::vector<std::string> tokens,
                    const std::string& settingsPath = "") {
    tokens.insert(tokens.begin(), "/bin/midiparley");
    std::vector<const char*> argv;
    for (const std::string& t : tokens) {
        argv.push_back(t.c_str());
    }
    argv.push_back(nullptr);
    std::string error = "stale";
    const bool ok =
        parse(table, "Settings", argv.data(), settingsPath, static_cast<int>(tokens.size()), error);
    return {ok, error};
}

}  // namespace

TEST(ParseValueSyntax, EqualsSlashAndNextTokenForms) {
    for (const std::vector<std::string>& tokens :
         {std::vector<std::string>{"-midiout=3"}, {"/midiout=3"}, {"-midiout", "3"}}) {
        OptionTable table = numberOptionTable();
        const Outcome outcome = parseTokens(table, tokens);
        EXPECT_TRUE(outcome.ok) << outcome.error;
        EXPECT_EQ(outcome.error, "");
        EXPECT_EQ(table.getText("midiout", ""), "3");
        EXPECT_TRUE(table.specs[0].isSet);
        EXPECT_TRUE(table.positionals.empty());
    }
}

TEST(ParseValueSyntax, RefusedValuesNameTheOptionWithADash) {
    struct Case {
        std::vector<std::string> tokens;
        const char* error;
    };
    for (const Case& c : {
             Case{{"-midiout"}, "option needs a value parameter: -midiout"},
             Case{{"-midiout="}, "option needs a number value: -midiout"},
             Case{{"-midiout=abc"}, "option needs a number value: -midiout"},
             Case{{"/timeout=abc"}, "option needs a number value: -timeout"},
             Case{{"-midiout", "-5"}, "option needs a number value: -midiout"},
             Case{{"-midiout=1=2"}, "option needs a number value: -midiout"},
         }) {
        OptionTable table = numberOptionTable();
        const Outcome outcome = parseTokens(table, c.tokens);
        EXPECT_FALSE(outcome.ok);
        EXPECT_EQ(outcome.error, c.error);
    }
}

TEST(ParseValueSyntax, ValueKeepsItsBlanksAndLaterValueWins) {
    OptionTable table = numberOptionTable();
    EXPECT_TRUE(parseTokens(table, {"-timeout=3  ", "-midiin=1", "-midiin=2"}).ok);
    EXPECT_EQ(table.getText("timeout", ""), "3  ");
    EXPECT_EQ(table.getInt("timeout", 5), 3);
    EXPECT_EQ(table.getInt("midiin", 0), 2);
}

TEST(ParseOptionRecognition, UnknownFormsAreInvalidOptionsAsTyped) {
    for (const char* token :
         {"-MIDIOUT=3", "-midioutx=3", "--midiout=3", "-", "/", "-midi=3", "-x", "/x", "-\xE4"}) {
        OptionTable table = numberOptionTable();
        const Outcome outcome = parseTokens(table, {token});
        EXPECT_FALSE(outcome.ok) << token;
        EXPECT_EQ(outcome.error, std::string("invalid option: ") + token);
    }
}

TEST(ParseOptionRecognition, AbbreviationsDownToTheMarkedLength) {
    OptionTable table;
    table.addOption(makeSpec("midi*out", OptionType::Number, true));
    for (const char* token : {"-midi=2", "-midio=2", "-midiout=2"}) {
        table.values.clear();
        EXPECT_TRUE(parseTokens(table, {token}).ok) << token;
        EXPECT_EQ(table.getText("midiout", ""), "2") << token;
    }
    EXPECT_EQ(parseTokens(table, {"-mid=2"}).error, "invalid option: -mid=2");
    EXPECT_EQ(parseTokens(table, {"-midi"}).error, "option needs a value parameter: -midiout");
}

TEST(ParseOptionRecognition, AbbreviationOfALongerNameWinsOverAShorterExactName) {
    for (bool longFirst : {false, true}) {
        OptionTable table;
        const OptionSpec shortSpec = makeSpec("in", OptionType::Text, true);
        const OptionSpec longSpec = makeSpec("in*put", OptionType::Text, true);
        table.addOption(longFirst ? longSpec : shortSpec);
        table.addOption(longFirst ? shortSpec : longSpec);
        EXPECT_EQ(findOption(table, "in"), longFirst ? 0 : 1);
        EXPECT_EQ(findOption(table, "in=x"), longFirst ? 0 : 1);
        EXPECT_EQ(findOption(table, "inp"), longFirst ? 0 : 1);
        EXPECT_EQ(findOption(table, "ix"), -1);
        EXPECT_EQ(findOption(table, ""), -1);
    }
}

TEST(ParseOptionRecognition, BareOptionsRecordFixedTexts) {
    OptionTable table;
    table.addOption(makeSpec("flag", OptionType::Boolean, false));
    table.addOption(makeSpec("count", OptionType::Number, false));
    table.addOption(makeSpec("label", OptionType::Text, false));
    EXPECT_TRUE(parseTokens(table, {"-flag", "-count", "-label"}).ok);
    EXPECT_EQ(table.getText("flag", "x"), "1");
    EXPECT_EQ(table.getText("count", "x"), "0");
    EXPECT_EQ(table.getText("label", "x"), "");
    for (const OptionSpec& spec : table.specs) {
        EXPECT_TRUE(spec.isSet) << spec.name;
    }
    EXPECT_EQ(parseTokens(table, {"-flag=maybe"}).error,
              "option needs a value true/false/yes/no/1/0: -flag");
}

TEST(ParseOptionRecognition, UndeclaredOptionsWhenAccepted) {
    OptionTable table;
    table.acceptUndeclared = true;
    EXPECT_TRUE(parseTokens(table, {"-x=5", "/y", "-=5", "-z=a=b"}).ok);
    EXPECT_EQ(table.getText("x", ""), "5");
    EXPECT_EQ(table.getText("y", ""), "1");
    EXPECT_EQ(table.getText("z", ""), "a=b");
    EXPECT_EQ(table.values.size(), 3u) << "-=5 stores nothing";
}

TEST(ParsePositionals, FirstNonOptionEndsTheOptions) {
    OptionTable table = numberOptionTable();
    EXPECT_TRUE(parseTokens(table, {"F0", "-midiout=3", "F7"}).ok);
    EXPECT_EQ(table.positionals, (std::vector<std::string>{"F0", "-midiout=3", "F7"}));
    EXPECT_FALSE(table.specs[0].isSet);
    EXPECT_EQ(table.values.count("midiout"), 0u);

    OptionTable empty = numberOptionTable();
    EXPECT_TRUE(parseTokens(empty, {"", "-midiout=3"}).ok);
    EXPECT_EQ(empty.positionals, (std::vector<std::string>{"", "-midiout=3"}));
}

TEST(ParsePositionals, LimitsGiveTheirMessages) {
    OptionTable table = numberOptionTable();
    std::vector<std::string> tokens(1000, "01");
    tokens.push_back("F7");
    EXPECT_EQ(parseTokens(table, tokens).error, "invalid argument: F7");
    tokens.pop_back();
    EXPECT_TRUE(parseTokens(table, tokens).ok);
    EXPECT_EQ(table.positionals.size(), 1000u);

    OptionTable none;
    EXPECT_EQ(parseTokens(none, {"F0"}).error, "invalid argument: F0");
    none.minPositional = 2;
    none.maxPositional = 5;
    EXPECT_EQ(parseTokens(none, {"F0"}).error, "not enough arguments");
}

TEST(ParsePositionals, ProgramPathAndOddArgumentVectors) {
    OptionTable table = numberOptionTable();
    std::string error;
    EXPECT_TRUE(parse(table, "Settings", nullptr, "", 0, error));
    const char* onlyProgram[] = {"prog", nullptr};
    EXPECT_TRUE(parse(table, "Settings", onlyProgram, "", 1, error));
    EXPECT_EQ(table.programPath, "prog");
    // A count larger than the vector stops at the vector's terminating null entry.
    const char* shortVector[] = {"prog", "F0", nullptr};
    EXPECT_TRUE(parse(table, "Settings", shortVector, "", 1000000, error));
    EXPECT_EQ(table.positionals, (std::vector<std::string>{"F0"}));
}

TEST(ParseSettingsFile, CommandLineOverridesAndAppends) {
    TemporarySettingsFile file("[Settings]\ntimeout=7\nmidiin=2\nhexsysex1=F0\nhexsysex2=7E\n");
    OptionTable table = numberOptionTable();
    EXPECT_TRUE(parseTokens(table, {"-timeout=3", "01", "F7"}, file.path.string()).ok);
    EXPECT_EQ(table.getInt("timeout", 5), 3);
    EXPECT_EQ(table.getInt("midiin", 0), 2);
    EXPECT_EQ(table.positionals, (std::vector<std::string>{"F0", "7E", "01", "F7"}));
}

TEST(ParseSettingsFile, FilePositionalsCountAgainstTheLimit) {
    TemporarySettingsFile file("[Settings]\nhexsysex1=F0\nhexsysex2=7E\n");
    OptionTable table = numberOptionTable();
    table.maxPositional = 3;
    EXPECT_EQ(parseTokens(table, {"01", "F7"}, file.path.string()).error, "invalid argument: F7");
}

TEST(ParseSettingsFile, RefusedFileValueIsReportedBeforeCommandLineErrors) {
    TemporarySettingsFile file("[Settings]\ntimeout=abc\n");
    OptionTable table = numberOptionTable();
    EXPECT_EQ(parseTokens(table, {"-x"}, file.path.string()).error,
              "option needs a number value: -timeout");
}

TEST(ParseSettingsFile, RequiredOptionMaySatisfyFromTheFile) {
    TemporarySettingsFile file("[Settings]\nport=4\n");
    OptionTable table;
    OptionSpec spec = makeSpec("port", OptionType::Number, true);
    spec.required = true;
    table.addOption(spec);
    EXPECT_TRUE(parseTokens(table, {}, file.path.string()).ok);

    OptionTable missing;
    missing.addOption(spec);
    EXPECT_EQ(parseTokens(missing, {}).error, "required option missing: -port");
}

TEST(ParseSettingsFile, NoSettingsAndSettingsPathOptions) {
    TemporarySettingsFile file("[Settings]\nport=4\n");
    OptionTable table;
    table.addOption(makeSpec("port", OptionType::Number, true));
    table.addOption(makeSpec("nofile", OptionType::Boolean, false));
    table.addOption(makeSpec("file", OptionType::Text, true));
    table.noSettingsOption = "nofile";
    table.settingsPathOption = "file";

    EXPECT_TRUE(parseTokens(table, {}, file.path.string()).ok);
    EXPECT_EQ(table.getInt("port", 0), 0) << "no -file: the path is empty, nothing is read";

    EXPECT_TRUE(parseTokens(table, {"-file", file.path.string()}, "").ok);
    EXPECT_EQ(table.getInt("port", 0), 4);

    EXPECT_TRUE(parseTokens(table, {"-nofile", "-file", file.path.string()}, "").ok);
    EXPECT_EQ(table.getInt("port", 0), 0);
    EXPECT_EQ(table.getText("nofile", ""), "1") << "the second pass records it again";

    // An option meant for the settings file that stands after a bad token has no effect.
    TemporarySettingsFile refused("[Settings]\nport=abc\n");
    EXPECT_EQ(parseTokens(table, {"-file", refused.path.string(), "-bad"}, "").error,
              "option needs a number value: -port");
    EXPECT_EQ(parseTokens(table, {"-bad", "-file", refused.path.string()}, "").error,
              "invalid option: -bad");
}

TEST(ParseSettingsFile, CommandLineOnlyOptionsAreNotReadFromTheFile) {
    TemporarySettingsFile file("[Settings]\nlist=1\nport=4\nlabel=x\n");
    OptionTable table;
    OptionSpec list = makeSpec("list", OptionType::Boolean, false);
    list.commandLineOnly = true;
    table.addOption(makeSpec("port", OptionType::Number, true));
    table.addOption(list);
    table.addOption(makeSpec("label", OptionType::Text, true));
    std::string error;
    EXPECT_TRUE(applySettingsSection(table, "Settings", file.path.string(), error));
    EXPECT_EQ(table.values, (std::map<std::string, std::string>{{"label", "x"}, {"port", "4"}}));
    EXPECT_TRUE(table.specs[0].isSet && !table.specs[1].isSet && table.specs[2].isSet);
}

TEST(ParseSettingsFile, QuestionsSkipTheFileNamesWaitAndTheCommandLineIsKept) {
    TemporarySettingsFile file("[Settings]\ndevice=um-one\ncount=abc\n");
    OptionTable table;
    OptionSpec device = makeSpec("device", OptionType::Number, true);
    device.takesName = true;
    OptionSpec help = makeSpec("help", OptionType::Boolean, false);
    help.skipsSettings = true;
    table.addOption(device);
    table.addOption(help);
    table.addOption(makeSpec("count", OptionType::Decimal, true));
    // The file's bad count does not stop a question; its device name is never stored.
    EXPECT_TRUE(parseTokens(table, {"-help", "-device=3"}, file.path.string()).ok);
    EXPECT_TRUE(table.nameValues.empty());
    EXPECT_EQ(table.commandLineValues,
              (std::map<std::string, std::string>{{"device", "3"}, {"help", "1"}}));
    // Names are kept in the order they came, marked by where; a blank value is no name.
    EXPECT_EQ(parseTokens(table, {"-device= box "}, file.path.string()).error,
              "option needs a number value: -count");
    ASSERT_EQ(table.nameValues.size(), 1u);
    EXPECT_TRUE(table.nameValues[0].fromSettings && table.nameValues[0].value == "um-one");
    OptionTable plain = table;
    EXPECT_TRUE(parseTokens(plain, {"-device=box", "-count", "007"}).ok);
    EXPECT_TRUE(plain.nameValues.size() == 1 && !plain.nameValues[0].fromSettings);
    EXPECT_EQ(parseTokens(plain, {"-device= "}).error, "option needs a number value: -device");
    // Decimal numbers: digits alone, and a number too large is called so.
    EXPECT_EQ(parseTokens(plain, {"-count=1e3"}).error, "option needs a number value: -count");
    EXPECT_EQ(parseTokens(plain, {"-count=+5"}).error, "option needs a number value: -count");
    EXPECT_EQ(parseTokens(plain, {"-count=2147483648"}).error, "number too large: -count");
    EXPECT_TRUE(parseTokens(plain, {"-count= 2147483647 "}).ok);
    EXPECT_EQ(plain.getInt("count", 0), 2147483647);
}

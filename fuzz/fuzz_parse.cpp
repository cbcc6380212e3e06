// The command-line parse with the program's own option table, on any argument vector and,
// for some inputs, a small settings file. The first byte holds flags: 1 = the first piece is
// a settings file, 2 = no argument vector at all, 4 = the count leaves out the last token.
// The rest is split at NUL bytes into the tokens after the program path. The settings file
// is served from memory, except for about one input in 64 that goes through a real file.
#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "fuzz/memory_settings.h"
#include "options/command_line_parse.h"
#include "options/option_table.h"
#include "settings/settings_reading.h"

namespace {

bool isOptionName(const std::string& text) {
    return programOption(text) != nullptr;
}

bool startsWith(const std::string& text, const std::string& prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

// The error text is exactly one message about one subject. The table has no required option
// and no lower bound on positionals, so two of the parser's seven messages cannot arise from
// it; its decimal options add "number too large".
void checkError(const std::string& error, const std::vector<std::string>& args) {
    const auto isArg = [&](const std::string& text) {
        return std::find(args.begin(), args.end(), text) != args.end();
    };
    const std::string invalidOption = "invalid option: ";
    const std::string needsParameter = "option needs a value parameter: -";
    const std::string needsNumber = "option needs a number value: -";
    const std::string tooLarge = "number too large: -";
    const std::string needsBoolean = "option needs a value true/false/yes/no/1/0: -";
    const std::string invalidArgument = "invalid argument: ";
    if (startsWith(error, invalidOption)) {
        const std::string token = error.substr(invalidOption.size());
        FUZZ_CHECK(isArg(token));
        FUZZ_CHECK(!token.empty() && (token[0] == '-' || token[0] == '/'));
    } else if (startsWith(error, needsParameter)) {
        FUZZ_CHECK(isOptionName(error.substr(needsParameter.size())));
    } else if (startsWith(error, needsNumber)) {
        FUZZ_CHECK(isNumericOption(error.substr(needsNumber.size())));
    } else if (startsWith(error, tooLarge)) {
        FUZZ_CHECK(isOptionOfType(error.substr(tooLarge.size()), OptionType::Decimal));
    } else if (startsWith(error, needsBoolean)) {
        FUZZ_CHECK(isOptionOfType(error.substr(needsBoolean.size()), OptionType::Boolean));
    } else if (startsWith(error, invalidArgument)) {
        FUZZ_CHECK(isArg(error.substr(invalidArgument.size())));
    } else {
        FUZZ_CHECK(!"an error text the table cannot produce");
    }
}

// Whether the command line alone asked to leave the settings file out (-help, -list,
// -version, or the table's no-settings option), as the parse's first pass saw it.
bool commandLineSkipsSettings(const OptionTable& table) {
    const auto trueOnCommandLine = [&](const std::string& name) {
        const auto it = table.commandLineValues.find(name);
        return it != table.commandLineValues.end() && readsTrue(it->second);
    };
    if (!table.noSettingsOption.empty() && trueOnCommandLine(table.noSettingsOption)) {
        return true;
    }
    return std::any_of(table.specs.begin(), table.specs.end(), [&](const OptionSpec& spec) {
        return spec.skipsSettings && trueOnCommandLine(spec.name);
    });
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) {
        return 0;
    }
    const uint8_t flags = data[0];
    std::vector<std::string> pieces = splitBytes(data + 1, size - 1, '\0');

    std::string settingsPath;
    if (flags & 1) {
        if (throughRealFile(data, size)) {
            settingsPath = writeScratchSettings(pieces.front());
            useFileSettings();
        } else {
            settingsPath = useMemorySettings(pieces.front());
        }
        pieces.erase(pieces.begin());
    }

    std::vector<const char*> argv;
    argv.push_back("midiparley");
    for (const std::string& piece : pieces) {
        argv.push_back(piece.c_str());
    }
    int argc = static_cast<int>(argv.size());
    if ((flags & 4) && argc > 1) {
        --argc;
    }
    argv.push_back(nullptr);
    const std::vector<std::string> args(pieces.begin(), pieces.begin() + (argc - 1));

    OptionTable table;
    declareProgramOptions(table);
    std::string error = "stale";
    const bool ok = (flags & 2) ? parse(table, "Settings", nullptr, settingsPath, 0, error)
                                : parse(table, "Settings", argv.data(), settingsPath, argc, error);

    FUZZ_CHECK(table.positionals.size() <= 1000);
    if (!ok) {
        checkError(error, (flags & 2) ? std::vector<std::string>() : args);
        return 0;
    }
    FUZZ_CHECK(error.empty());
    // Every stored number passed the number test, so it reads back as one.
    checkStoredValues(table);
    // The file's positionals come first (unless the command line left the file out), then the
    // command line's, which run to its end.
    std::vector<std::string> filePositionals;
    if ((flags & 1) && !commandLineSkipsSettings(table)) {
        OptionTable fileOnly;
        declareProgramOptions(fileOnly);
        std::string ignored;
        applySettingsSection(fileOnly, "Settings", settingsPath, ignored);
        filePositionals = fileOnly.positionals;
    }
    FUZZ_CHECK(table.positionals.size() >= filePositionals.size());
    FUZZ_CHECK(
        std::equal(filePositionals.begin(), filePositionals.end(), table.positionals.begin()));
    const size_t fromCommandLine = table.positionals.size() - filePositionals.size();
    if (flags & 2) {
        FUZZ_CHECK(fromCommandLine == 0);
    } else {
        FUZZ_CHECK(fromCommandLine <= args.size());
        FUZZ_CHECK(
            std::equal(args.end() - static_cast<long>(fromCommandLine), args.end(),
                       table.positionals.begin() + static_cast<long>(filePositionals.size())));
    }
    return 0;
}

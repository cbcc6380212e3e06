#include "driver/run_request.h"

#include "driver/program_options.h"
#include "options/command_line_parse.h"
#include "settings/settings_path.h"

namespace {

bool says(const std::map<std::string, std::string>& values, const char* name) {
    const auto found = values.find(name);
    return found != values.end() && readsTrue(found->second);
}

// -help, -version and -list count on the command line only; -help wins.
RunKind kindAskedFor(const std::map<std::string, std::string>& commandLine) {
    return says(commandLine, "help")      ? RunKind::Help
           : says(commandLine, "version") ? RunKind::Version
           : says(commandLine, "list")    ? RunKind::List
                                          : RunKind::Exchange;
}

DeviceRequest deviceRequest(const OptionTable& table, const char* option) {
    DeviceRequest device;
    const std::string text = table.getText(option, "0");
    if (!readsAsNumber(text, device.number)) {
        device.name = text;
    }
    return device;
}

BulkOptions bulkOptions(const OptionTable& table) {
    BulkOptions options;
    options.idleMs = static_cast<DWORD>(table.getInt("idle", 0));
    options.save = table.values.count("save") != 0;
    options.savePath = table.getText("save", "");
    options.send = table.values.count("send") != 0;
    options.sendPath = table.getText("send", "");
    options.gapMs = table.getInt("gap", 0);
    return options;
}

// Reads the values of -pace and -checksum, which the option table keeps as text.
bool readWorkbenchOptions(const OptionTable& table, WorkbenchOptions& options,
                          std::string& errorText) {
    if (table.values.count("pace") != 0 &&
        !parsePaceValue(table.getText("pace", ""), options.pace, errorText)) {
        return false;
    }
    if (table.values.count("checksum") != 0 &&
        !parseChecksumValue(table.getText("checksum", ""), options.checksum, errorText)) {
        return false;
    }
    options.identify = table.getBool("identify");
    return true;
}

}  // namespace

bool readRunRequest(int argc, const char* const* argv, RunRequest& request,
                    std::string& errorText) {
    OptionTable table;
    declareProgramOptions(table);
    const bool read =
        parse(table, "Settings", argv, settingsFilePath("midiparley.ini"), argc, errorText);
    const std::map<std::string, std::string>& commandLine = table.commandLineValues;
    request.kind = kindAskedFor(commandLine);
    request.quiet =
        commandLine.count("quiet") != 0 ? says(commandLine, "quiet") : table.getBool("quiet");
    for (const NameValue& name : table.nameValues) {
        if (!name.fromSettings || commandLine.count(name.option) == 0) {
            request.deviceNames.push_back(name);
        }
    }
    if (!read) {
        return false;
    }
    request.outDevice = deviceRequest(table, "midiout");
    request.inDevice = deviceRequest(table, "midiin");
    request.timeoutSeconds = table.getInt("timeout", 5);
    request.bulk = bulkOptions(table);
    if (!readWorkbenchOptions(table, request.workbench, errorText)) {
        return false;
    }
    request.message = table.positionals;
    request.messageOnCommandLine = table.commandLinePositionals != 0;
    return true;
}

#include "driver/exchange.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "driver/answer_wait.h"
#include "driver/bulk_options.h"
#include "driver/bulk_wait.h"
#include "driver/byte_tokens.h"
#include "driver/device_choice.h"
#include "driver/device_list.h"
#include "driver/hex_text.h"
#include "driver/kept_sysex.h"
#include "driver/output_device.h"
#include "driver/program_info.h"
#include "driver/program_options.h"
#include "driver/progress.h"
#include "driver/syx_send.h"
#include "driver/usage.h"
#include "midi/recorder.h"
#include "midi/sysex_sender.h"
#include "options/command_line_parse.h"
#include "options/option_table.h"
#include "platform/windows_api.h"
#include "settings/settings_path.h"

namespace {

constexpr int kEscKey = 27;

// Writes text to standard output and flushes it; false (errno telling why) when it did not
// all arrive. The output is the point of the run, so a loss must not pass for success.
bool writeOut(const std::string& text) {
    return std::fputs(text.c_str(), stdout) != EOF && std::fflush(stdout) == 0;
}

// Reports the failed write that set errno; the run's status.
int outputFailed() {
    const std::string reason = std::strerror(errno);
    writeLineToStderr("error: cannot write to standard output: " + reason + "\n");
    return 1;
}

// Sends the message to outDevice; false (with the message written) when that fails.
bool sendRequest(const std::vector<uint8_t>& message, int32_t outDevice) {
    SysExSender sender;
    if (!openOutputDevice(sender, outDevice) ||
        !sendOnOutputDevice(sender, message.data(), static_cast<int32_t>(message.size()))) {
        return false;
    }
    closeSender(sender);
    std::string line = "sent sysex";
    for (const uint8_t byte : message) {
        line += " " + hexByteText(byte);
    }
    writeProgress(stderr, line + " to MIDI output device " + std::to_string(outDevice) + "\n");
    return true;
}

// One line per kept SysEx buffer, each byte as two hexadecimal digits and a blank; false
// (errno telling why) when the lines did not all arrive.
bool printAnswer(const KeptSysEx& kept) {
    const uint8_t* bytes = kept.bytes.data();
    for (const KeptBuffer& buffer : kept.buffers) {
        std::string line;
        line.reserve(buffer.length * 3 + 1);
        for (DWORD b = 0; b < buffer.length; ++b) {
            line += hexByteText(bytes[b]);
            line += ' ';
        }
        line += '\n';
        bytes += buffer.length;
        if (std::fputs(line.c_str(), stdout) == EOF) {
            return false;
        }
    }
    return std::fflush(stdout) == 0;
}

void warnNoEndOfSysEx(int32_t inDevice) {
    writeLineToStderr("warning: no end of sysex (F7) received from MIDI input device " +
                      std::to_string(inDevice) + "\n");
}

// After a collecting run (-idle or -save): an incomplete dump is an error that leaves the file
// alone; a whole one is saved. Before the listing, so that a reader which stops early (head)
// cannot cost the file. False when the run fails.
bool finishCollecting(const BulkOptions& bulk, const KeptSysEx& kept,
                      const MidiInRecorder& recorder, bool cutByTimeout, int32_t inDevice) {
    const std::string incomplete = incompleteDumpReason(kept, recorder, cutByTimeout);
    if (!incomplete.empty()) {
        writeLineToStderr("error: incomplete sysex dump from MIDI input device " +
                          std::to_string(inDevice) + ": " + incomplete +
                          (bulk.save ? "; " + bulk.savePath + " not written" : "") + "\n");
        return false;
    }
    if (kept.answers == 0) {
        warnNoEndOfSysEx(inDevice);
    }
    return !bulk.save || saveReceived(bulk, kept.bytes, inDevice);
}

// Reads keys until Esc. When no key can ever come (no console, or redirected input at its
// end) the wait ends as if Esc had been pressed.
void waitForEsc() {
    writeProgress(stderr, "Press <esc> to cancel the application...\n");
    for (;;) {
        const int key = _getch();
        if (key == kEscKey || key == EOF) {
            return;
        }
    }
}

}  // namespace

int runExchange(int argc, const char* const* argv) {
    OptionTable table;
    declareProgramOptions(table);
    // What the command line alone asks for decides how the full parse treats some options.
    const OptionTable commandLine = commandLineAlone(argc, argv);
    DeviceChoice devices;
    // A run that lists the devices or answers -help or -version chooses none.
    devices.resolveNames = !commandLine.getBool("list") && !asksForInfo(commandLine);
    chooseDevicesByName(table, devices);
    const std::string settingsPath = settingsFilePath("midiparley.ini");
    std::string errorText;
    if (!parse(table, "Settings", argv, settingsPath, argc, errorText)) {
        writeLineToStderr("error: " + errorText + "\n");
        return printUsage() ? 1 : outputFailed();
    }
    const InfoPrint info = printRequestedInfo(table);
    if (info != InfoPrint::None) {
        return info == InfoPrint::Printed ? 0 : outputFailed();
    }
    setProgressShown(!table.getBool("quiet"));
    if (table.getBool("list")) {
        return printDeviceList() ? 0 : outputFailed();
    }
    const int32_t outDevice = table.getInt("midiout", 0);
    const int32_t inDevice = table.getInt("midiin", 0);
    const int32_t timeoutSeconds = table.getInt("timeout", 5);
    const BulkOptions bulk = readBulkOptions(table);
    SyxFile fileToSend;
    if (bulk.send && !loadFileToSend(bulk, commandLine, fileToSend)) {
        return 1;
    }
    if (bulk.save && !checkSavePath(bulk)) {
        return 1;
    }

    if (progressShown() && table.positionals.empty() && !bulk.send &&
        !writeOut("no sysex sent to MIDI out device " + std::to_string(outDevice) + "\n")) {
        return outputFailed();
    }
    // With -send the message (from the settings file) gives way to the file.
    const ByteTokenCheck message =
        checkByteTokens(bulk.send ? std::vector<std::string>() : table.positionals);
    if (!message.valid) {
        writeLineToStderr("error: invalid sysex data at " + message.invalidToken + "\n");
        return !progressShown() || printUsage() ? 1 : outputFailed();
    }
    if (progressShown() && !printUsage()) {
        return outputFailed();
    }

    MidiInRecorder& recorder = theRecorder();
    // Its event block is allocated before main; without it nothing could be recorded.
    if (recorder.events == nullptr) {
        writeLineToStderr("error: out of memory\n");
        return 1;
    }
    recorder.deviceId = inDevice;
    recorder.inputMode = 1;
    recorder.recordSysEx = 1;
    recorder.recordShortMessages = 0;
    // A collecting run keeps each buffer as it comes and gives it back to the input, so a dump
    // may be far larger than the buffers; otherwise they are read once recording has ended.
    const bool collecting = bulk.idleMs > 0 || bulk.save;
    KeptSysEx kept = startKeeping(recorder, collecting);
    // An input that does not open is otherwise silent: the wait ends in the no-F7 warning.
    if (openRecorder(recorder) == 0 && inputOpenResult == MMSYSERR_ALLOCATED) {
        writeLineToStderr("warning: " + deviceInUseLine("input", inDevice));
    }

    const auto keepDuringSend = [&] {
        if (collecting) {
            keepArrived(kept, recorder);
        }
    };
    if (bulk.send &&
        !sendSyxFile(fileToSend, bulk.sendPath, outDevice, bulk.gapMs, keepDuringSend)) {
        closeRecorder(recorder);
        return 1;
    }
    // A message of just F0 F7 carries nothing worth sending.
    if (message.bytes.size() > 2 && !sendRequest(message.bytes, outDevice)) {
        closeRecorder(recorder);
        return 1;
    }

    writeProgress(
        stderr, "awaiting sysex data from MIDI input device " + std::to_string(inDevice) + "...\n");
    const DWORD timeoutMs = timeoutMilliseconds(timeoutSeconds);
    const bool cutByTimeout = collecting && awaitDump(recorder, kept, timeoutMs, bulk.idleMs);
    const bool answerComplete = !collecting && awaitAnswer(recorder, timeoutMs);
    closeRecorder(recorder);
    kept.giveBack = false;
    keepArrived(kept, recorder);
    bool succeeded = true;
    if (collecting) {
        succeeded = finishCollecting(bulk, kept, recorder, cutByTimeout, inDevice);
    } else {
        if (lostSysExBytes != 0) {
            writeLineToStderr("warning: the input buffers ran out; " +
                              std::to_string(lostSysExBytes) + " bytes of sysex input were lost\n");
        }
        if (!answerComplete) {
            warnNoEndOfSysEx(inDevice);
        }
    }
    if (!printAnswer(kept)) {
        return outputFailed();
    }
    if (!succeeded) {
        return 1;
    }
    waitForEsc();
    return 0;
}

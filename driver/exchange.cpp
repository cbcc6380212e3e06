#include "driver/exchange.h"

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "driver/answer_wait.h"
#include "driver/bulk_wait.h"
#include "driver/byte_tokens.h"
#include "driver/dump_files.h"
#include "driver/hex_text.h"
#include "driver/identity_reply.h"
#include "driver/kept_sysex.h"
#include "driver/output_device.h"
#include "driver/report.h"
#include "driver/syx_send.h"
#include "driver/workbench_report.h"
#include "midi/recorder.h"
#include "midi/sysex_sender.h"
#include "platform/windows_api.h"

namespace {

constexpr int kEscKey = 27;
// The listing goes out in pieces of about this many bytes, so that a dump of many megabytes is
// not held as text twice.
constexpr size_t kAnswerPiece = 65536;

// -identify waits this long after the first answer for more instruments to answer.
constexpr DWORD kIdentifyQuietMs = 200;

// Sends the message to outDevice; false (with the message written) when that fails.
bool sendRequest(const std::vector<uint8_t>& message, int32_t outDevice, const Pace& pace) {
    SysExSender sender;
    if (!openOutputDevice(sender, outDevice) ||
        !sendOnOutputDevice(sender, message.data(), static_cast<int32_t>(message.size()), pace)) {
        return false;
    }
    closeSender(sender);
    std::string line = "sent sysex";
    for (const uint8_t byte : message) {
        line += " " + hexByteText(byte);
    }
    writeNote(Stream::Error, line + " to MIDI output device " + std::to_string(outDevice) + "\n");
    return true;
}

// One line per kept SysEx buffer, each byte as two hexadecimal digits and a blank; false
// when standard output refused them.
bool printAnswer(const KeptSysEx& kept) {
    const uint8_t* bytes = kept.bytes.data();
    std::string lines;
    for (const KeptBuffer& buffer : kept.buffers) {
        for (DWORD b = 0; b < buffer.length; ++b) {
            lines += hexByteText(bytes[b]);
            lines += ' ';
        }
        lines += '\n';
        bytes += buffer.length;
        if (lines.size() >= kAnswerPiece) {
            if (!writeResult(lines)) {
                return false;
            }
            lines.clear();
        }
    }
    return writeResult(lines);
}

void warnNoEndOfSysEx(int32_t inDevice) {
    writeLineToStderr("warning: no end of sysex (F7) received from MIDI input device " +
                      std::to_string(inDevice) + "\n");
}

// After a collecting run (-idle or -save): an incomplete dump is an error that leaves the file
// alone; a whole one is saved. Before the listing, so that a reader which stops early (head)
// cannot cost the file. False when the run fails.
// With mayWrite false the file is not written (the reason is already told).
bool finishCollecting(const BulkOptions& bulk, const KeptSysEx& kept,
                      const MidiInRecorder& recorder, bool cutByTimeout, int32_t inDevice,
                      bool mayWrite, bool warnWithoutAnswer) {
    const std::string incomplete = incompleteDumpReason(kept, recorder, cutByTimeout);
    if (!incomplete.empty()) {
        reportError("incomplete sysex dump from MIDI input device " + std::to_string(inDevice) +
                    ": " + incomplete + (bulk.save ? "; " + bulk.savePath + " not written" : ""));
        return false;
    }
    if (kept.answers == 0 && warnWithoutAnswer) {
        warnNoEndOfSysEx(inDevice);
    }
    return mayWrite && (!bulk.save || saveReceived(bulk, kept, inDevice));
}

// Reads keys until Esc. When no key can ever come (no console, or redirected input at its
// end) the wait ends as if Esc had been pressed.
void waitForEsc() {
    writeNote(Stream::Error, "Press <esc> to cancel the application...\n");
    for (;;) {
        const int key = _getch();
        if (key == kEscKey || key == EOF) {
            return;
        }
    }
}

}  // namespace

int runExchange(const RunRequest& request, const ChosenDevices& devices) {
    const int32_t outDevice = devices.out;
    const int32_t inDevice = devices.in;
    const BulkOptions& bulk = request.bulk;
    const WorkbenchOptions& bench = request.workbench;
    // The settings file's message gives way to the file or the identity request; one on the
    // command line does not.
    if (bulk.send && request.messageOnCommandLine) {
        return reportUsageError("a message on the command line and -send=" + bulk.sendPath +
                                " exclude each other");
    }
    if (bench.identify && (bulk.send || request.messageOnCommandLine)) {
        return reportUsageError(
            (bulk.send ? "-send=" + bulk.sendPath : std::string("a message on the command line")) +
            " and -identify exclude each other");
    }
    FileToSend fileToSend;
    if (bulk.send && !loadFileToSend(bulk, fileToSend)) {
        return 1;
    }
    if (bulk.save && !checkSavePath(bulk)) {
        return 1;
    }

    if (request.message.empty() && !bulk.send && !bench.identify &&
        !writeNote(Stream::Output,
                   "no sysex sent to MIDI out device " + std::to_string(outDevice) + "\n")) {
        return outputFailed();
    }
    // With -send or -identify the message (from the settings file) gives way.
    const bool typed = !bulk.send && !bench.identify;
    const ChecksumTokenCheck checked = checkTokensWithChecksum(
        typed ? request.message : std::vector<std::string>(), bench.checksum);
    if (!checked.message.valid) {
        return reportUsageError("invalid sysex data at " + checked.message.invalidToken +
                                (checked.reason.empty() ? "" : ": " + checked.reason));
    }
    const std::vector<uint8_t> message =
        bench.identify
            ? std::vector<uint8_t>(std::begin(kIdentityRequest), std::end(kIdentityRequest))
            : checked.message.bytes;
    if (!writeUsage()) {
        return outputFailed();
    }

    MidiInRecorder& recorder = theRecorder();
    // Its event block is allocated before main; without it nothing could be recorded.
    if (recorder.events == nullptr) {
        return reportError("out of memory");
    }
    recorder.deviceId = inDevice;
    recorder.inputMode = 1;
    recorder.recordSysEx = 1;
    recorder.recordShortMessages = 0;
    // A collecting run keeps each buffer as it comes and gives it back to the input, so a dump
    // may be far larger than the buffers; otherwise they are read once recording has ended.
    // -identify collects too, until the answers of every instrument are in.
    const bool collecting = bulk.idleMs > 0 || bulk.save || bench.identify;
    const DWORD idleMs = bench.identify && bulk.idleMs == 0 ? kIdentifyQuietMs : bulk.idleMs;
    KeptSysEx kept = startKeeping(recorder, collecting);
    // An input that does not open is otherwise silent: the wait ends in the no-F7 warning.
    if (openRecorder(recorder) == 0 && inputOpenResult == MMSYSERR_ALLOCATED) {
        writeLineToStderr("warning: " + deviceInUseLine("input", inDevice));
    }

    std::function<void()> keepDuringSend;
    if (collecting) {
        keepDuringSend = [&] { keepArrived(kept, recorder); };
    }
    if (bulk.send &&
        !sendFile(fileToSend, bulk.sendPath, outDevice, bulk.gapMs, bench.pace, keepDuringSend)) {
        closeRecorder(recorder);
        return 1;
    }
    // A message of just F0 F7 carries nothing worth sending.
    if (message.size() > 2 && !sendRequest(message, outDevice, bench.pace)) {
        closeRecorder(recorder);
        return 1;
    }

    writeNote(Stream::Error,
              "awaiting sysex data from MIDI input device " + std::to_string(inDevice) + "...\n");
    const DWORD timeoutMs = timeoutMilliseconds(request.timeoutSeconds);
    const bool cutByTimeout = collecting && awaitDump(recorder, kept, timeoutMs, idleMs);
    const bool answerComplete = !collecting && awaitAnswer(recorder, timeoutMs);
    closeRecorder(recorder);
    kept.giveBack = false;
    keepArrived(kept, recorder);
    const bool checksumsFit = checkReceivedChecksums(bench.checksum, bulk, kept.bytes);
    bool succeeded = checksumsFit;
    if (collecting) {
        // Without an identity reply -identify has its own line.
        succeeded = finishCollecting(bulk, kept, recorder, cutByTimeout, inDevice, checksumsFit,
                                     !bench.identify);
    } else {
        if (lostSysExBytes != 0) {
            writeLineToStderr("warning: the input buffers ran out; " +
                              std::to_string(lostSysExBytes) + " bytes of sysex input were lost\n");
        }
        if (!answerComplete) {
            warnNoEndOfSysEx(inDevice);
        }
    }
    // With -identify and -quiet the lines naming the instruments stand alone.
    if (!(bench.identify && quiet()) && !printAnswer(kept)) {
        return outputFailed();
    }
    if (bench.identify && reportIdentityReplies(kept.bytes, inDevice, request.timeoutSeconds)) {
        return 1;
    }
    if (!succeeded) {
        return 1;
    }
    waitForEsc();
    return 0;
}

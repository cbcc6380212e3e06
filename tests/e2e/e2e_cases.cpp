#include "tests/e2e/e2e_cases.h"

#include <cstdint>

#include "platform/posix/winmm/instrument_answers.h"
#include "tests/testing/listing.h"

const std::string kUsage =
    "usage: midiparley [-midiout=#] [-midiin=#] [-timeout=seconds] F0 ... F7\n"
    "e.g. midiparley -midiout=0 -midiin=0 F0 7E 7F 06 01 F7\n"
    "default MIDI devices are 0\n"
    "default timeout is 5 seconds\n"
    "the hexadecimal sysex is optional and will be sent to midi out\n"
    "and then within timeout the program waits for a sysex answer\n";

namespace {

const std::string kEsc = "\x1b";
const std::string kPress = "Press <esc> to cancel the application...\n";
const std::string kIdentityReplyLine = listing(identityReply());

std::string awaiting(int device) {
    return "awaiting sysex data from MIDI input device " + std::to_string(device) + "...\n";
}

std::string noF7(int device) {
    return "warning: no end of sysex (F7) received from MIDI input device " +
           std::to_string(device) + "\n";
}

std::string sent(const std::string& bytes, int device) {
    return "sent sysex " + bytes + " to MIDI output device " + std::to_string(device) + "\n";
}

E2eCase parseError(const std::string& name, std::vector<std::string> args,
                   const std::string& message) {
    E2eCase c;
    c.name = name;
    c.args = std::move(args);
    c.status = 1;
    c.out = kUsage;
    c.err = "error: " + message + "\n";
    return c;
}

E2eCase invalidToken(const std::string& name, std::vector<std::string> args,
                     const std::string& token) {
    return parseError(name, std::move(args), "invalid sysex data at " + token);
}

// The virtual instrument's answer to the dump request F0 7D 01 hh ll F7.
std::vector<uint8_t> dumpAnswer(uint8_t hh, uint8_t ll) {
    const uint8_t request[] = {0xF0, 0x7D, 0x01, hh, ll, 0xF7};
    return instrumentAnswer(request, sizeof request);
}

E2eCase exchange(const std::string& name, std::vector<std::string> args,
                 const std::string& sentBytes, const std::string& answer) {
    E2eCase c;
    c.name = name;
    c.args = std::move(args);
    c.input = kEsc;
    c.out = kUsage + answer;
    c.err = sent(sentBytes, 0) + awaiting(0) + kPress;
    c.needsMidi = true;
    return c;
}

E2eCase listenOnly(const std::string& name, std::vector<std::string> args, int inDevice,
                   const std::string& notice) {
    E2eCase c;
    c.name = name;
    c.args = std::move(args);
    c.input = kEsc;
    c.out = notice + kUsage;
    c.err = awaiting(inDevice) + noF7(inDevice) + kPress;
    return c;
}

}  // namespace

std::vector<E2eCase> e2eCases() {
    std::vector<E2eCase> cases;
    auto add = [&cases](E2eCase c) { cases.push_back(std::move(c)); };
    const std::string noSysEx = "no sysex sent to MIDI out device 0\n";

    // Parse errors: the message, then the usage; nothing touches a device.
    add(parseError("UnknownOption", {"-x"}, "invalid option: -x"));
    add(parseError("SlashOption", {"/x"}, "invalid option: /x"));
    add(parseError("UpperCaseOption", {"-MIDIOUT=3"}, "invalid option: -MIDIOUT=3"));
    add(parseError("DoubleDash", {"--midiout=3"}, "invalid option: --midiout=3"));
    add(parseError("LoneDash", {"-"}, "invalid option: -"));
    add(parseError("AbbreviationNotAllowed", {"-midi=1"}, "invalid option: -midi=1"));
    add(parseError("MissingValue", {"-midiout"}, "option needs a value parameter: -midiout"));
    add(parseError("EmptyNumber", {"-timeout="}, "option needs a number value: -timeout"));
    add(parseError("SlashOptionBadNumber", {"/timeout=abc"},
                   "option needs a number value: -timeout"));
    add(parseError("SignedNumber", {"-midiout", "-5"}, "option needs a number value: -midiout"));
    {
        std::vector<std::string> many = {"F0"};
        for (int i = 0; i < 999; ++i) {
            many.push_back("01");
        }
        many.push_back("F7");
        add(parseError("TooManyTokens", many, "invalid argument: F7"));
    }

    // Byte tokens: F0 first, F7 last, nothing above 7F between.
    add(invalidToken("SingleF0", {"F0"}, "F0"));
    add(invalidToken("SingleF7", {"F7"}, "F7"));
    add(invalidToken("InnerAbove7F", {"F0", "80", "F7"}, "80"));
    add(invalidToken("InnerF0", {"F0", "F0", "F7"}, "F0"));
    add(invalidToken("InnerF7", {"F0", "F7", "F7"}, "F7"));
    add(invalidToken("LastNotF7", {"F0", "7E", "F8"}, "F8"));
    add(invalidToken("HexPrefix", {"0xF0", "7E", "F7"}, "0xF0"));
    add(invalidToken("HexSuffix", {"F0h", "7E", "F7"}, "F0h"));
    add(invalidToken("Comma", {"F0,", "7E", "F7"}, "F0,"));
    add(invalidToken("LeadingBlank", {" F0", "7E", "F7"}, " F0"));
    add(invalidToken("EmptyToken", {"F0", "", "F7"}, ""));
    add(invalidToken("LongTokenDoesNotWrap", {"F0", "FFFFFFFF", "F7"}, "FFFFFFFF"));
    add(invalidToken("LongTokenIsNotF0", {"1000000F0", "7E", "F7"}, "1000000F0"));
    add(invalidToken("OptionAfterTokens", {"F0", "-midiout=3", "F7"}, "-midiout=3"));

    // Devices that do not open.
    {
        E2eCase c;
        c.name = "OutputDeviceDoesNotOpen";
        c.args = {"-midiout=99", "-timeout=0", "F0", "01", "F7"};
        c.status = 1;
        c.out = kUsage;
        c.err = "cannot open MIDI output device 99\n";
        add(c);
    }
    add(listenOnly("InputDeviceDoesNotOpen", {"-midiin=99", "-timeout=0"}, 99, noSysEx));

    // Listening only.
    add(listenOnly("NoTokensTimeoutZero", {"-timeout=0"}, 0, noSysEx));
    add(listenOnly("OnlyF0F7SendsNothing", {"-timeout=0", "-midiin=99", "F0", "F7"}, 99, ""));
    {
        E2eCase c =
            listenOnly("EndOfInputEndsTheEscWait", {"-timeout=0", "-midiin=99"}, 99, noSysEx);
        c.input = "";
        add(c);
    }
    {
        E2eCase c =
            listenOnly("KeysBeforeEscAreIgnored", {"-timeout=0", "-midiin=99"}, 99, noSysEx);
        c.input = "abc\r\n" + kEsc + "more";
        add(c);
    }

    // Exchanges with the virtual instrument.
    add(exchange("IdentityRequest", {"-timeout=5", "F0", "7E", "7F", "06", "01", "F7"},
                 "F0 7E 7F 06 01 F7", kIdentityReplyLine));
    add(exchange("LowerCaseTokens", {"-timeout=5", "f0", "7e", "7f", "06", "01", "f7"},
                 "F0 7E 7F 06 01 F7", kIdentityReplyLine));
    add(exchange("LeadingZerosAndTrailingBlank", {"-timeout=5", "00F0 ", "7F", "0F7"}, "F0 7F F7",
                 "F0 7F F7 \n"));
    add(exchange("ThreeBufferAnswer", {"-timeout=5", "F0", "7D", "01", "17", "38", "F7"},
                 "F0 7D 01 17 38 F7", listing(dumpAnswer(0x17, 0x38))));
    {
        E2eCase c = exchange(
            "OptionValueInNextToken",
            {"-midiout", "0", "-midiin", "0", "-timeout", "5", "F0", "7E", "7F", "06", "01", "F7"},
            "F0 7E 7F 06 01 F7", kIdentityReplyLine);
        add(c);
    }

    // The settings file beside the executable.
    {
        E2eCase c =
            exchange("SettingsFileSuppliesTheMessage", {}, "F0 7E 7F 06 01 F7", kIdentityReplyLine);
        c.withSettings = true;
        c.settings =
            "[Settings]\r\nmidiout=0\r\nmidiin=0\r\ntimeout=5\r\nhexsysex1=F0\r\n"
            "hexsysex2=7E\r\nhexsysex3=7F\r\nhexsysex4=06\r\nhexsysex5=01\r\nhexsysex6=F7\r\n";
        add(c);
    }
    {
        E2eCase c =
            parseError("SettingsFileValueRefused", {"-x"}, "option needs a number value: -timeout");
        c.withSettings = true;
        c.settings = "[Settings]\ntimeout=abc\n";
        add(c);
    }
    {
        E2eCase c = listenOnly("CommandLineOverridesSettingsFile", {"-midiin=98"}, 98, noSysEx);
        c.withSettings = true;
        c.settings = "[settings]\nMidiIn = 97\ntimeout=0\n";
        add(c);
    }
    {
        E2eCase c = invalidToken("SettingsTokensComeFirst", {"F0", "F7"}, "7E");
        c.withSettings = true;
        c.settings = "[Settings]\nhexsysex1=7E\n";
        add(c);
    }
    {
        E2eCase c = exchange("SettingsTokensThenCommandLineTokens", {"01", "F7"}, "F0 7E 01 F7",
                             "F0 7E 01 F7 \n");
        c.withSettings = true;
        c.settings = "[Settings]\nhexsysex2=7E\nhexsysex1=F0\n";
        add(c);
    }
    {
        E2eCase c = listenOnly("SettingsNumberedKeysInNumericOrder", {"-midiin=99"}, 99, "");
        c.withSettings = true;
        c.settings = "[Settings]\ntimeout=0\nhexsysex3=F7\nhexsysex1=F0\n";
        add(c);
    }

    // The device list, and devices chosen by name.
    {
        E2eCase c;
        c.name = "ListTheVirtualInstrumentAlone";
        c.args = {"-list"};
        c.out =
            "MIDI input devices:\n0: midiparley virtual instrument\n"
            "MIDI output devices:\n0: midiparley virtual instrument\n";
        c.needsMidi = true;
        add(c);
        // Answered whatever the settings file holds (-help and -version below).
        c.name = "ListDespiteABadSettingsFile";
        c.withSettings = true;
        c.settings = "[Settings]\nidle=abc\nmidiout=no such device\n";
        add(c);
        c.name = "ListWithoutDevices";
        c.withSettings = false;
        c.out = "MIDI input devices:\nMIDI output devices:\n";
        c.needsMidi = false;
        c.needsNoMidi = true;
        add(c);
    }
    {
        E2eCase c = listenOnly("ListInSettingsFileIsIgnored", {"-midiin=99"}, 99, noSysEx);
        c.withSettings = true;
        c.settings = "[Settings]\nlist=1\ntimeout=0\n";
        add(c);
    }
    add(exchange("NamesByPartOrWholeIgnoringCase",
                 {"-midiout=VIRTUAL", "-midiin", "midiparley virtual instrument", "-timeout=5",
                  "F0", "7E", "7F", "06", "01", "F7"},
                 "F0 7E 7F 06 01 F7", kIdentityReplyLine));
    {
        E2eCase c = exchange("NamesInSettingsFile", {"F0", "7E", "7F", "06", "01", "F7"},
                             "F0 7E 7F 06 01 F7", kIdentityReplyLine);
        c.withSettings = true;
        c.settings = "[Settings]\nmidiout = Virtual Instrument\nmidiin=instrument\n";
        add(c);
    }
    add(parseError("NameOfNoDevice", {"-midiin=no such device"},
                   "option needs a number value: -midiin"));
    {
        // The settings file is read before the command line, so its name fails first...
        E2eCase c = parseError("NameOfNoDeviceInSettingsFile", {"-timeout=x"},
                               "option needs a number value: -midiout");
        c.withSettings = true;
        c.settings = "[Settings]\nmidiout=no such device\n";
        add(c);
        // ...unless the command line gives that option: its name is then never looked up.
        c = exchange("SettingsFileNameGivesWayToTheCommandLine",
                     {"-midiout=virtual", "-midiin=virtual", "F0", "7E", "7F", "06", "01", "F7"},
                     "F0 7E 7F 06 01 F7", kIdentityReplyLine);
        c.withSettings = true;
        c.settings = "[Settings]\nmidiout=um-one\nmidiin=um-one\n";
        add(c);
    }
    // Options that answer a question: status 0 before any device is touched (device 99 would
    // fail to open, a name of no device would be refused).
    {
        E2eCase c;
        c.name = "HelpListsEveryOption";
        c.args = {"-help", "-midiout=99", "-midiin=no such device", "F0", "01", "F7"};
        // Nor is the settings file read, whatever it holds.
        c.withSettings = true;
        c.settings = "[Settings]\nidle=abc\nmidiout=no such device\n";
        c.out = kUsage +
                "  -midiout=#          output device, by number or name, that receives the "
                "message (default 0)\n"
                "  -midiin=#           input device, by number or name, that is recorded "
                "(default 0)\n"
                "  -timeout=seconds    how long to wait for an answer ending in F7 (default 5)\n"
                "  -list               list the MIDI devices by number and name, then end\n"
                "  -idle=milliseconds  after an answer, go on until the input is quiet this long "
                "(default 0: first answer)\n"
                "  -save=FILE          write the received sysex to FILE (.syx; .mid with arrival "
                "times; hex text if .txt)\n"
                "  -send=FILE          send the sysex messages of FILE (.syx, .mid or hex text) "
                "instead of a message\n"
                "  -gap=milliseconds   pause between the messages of a -send .syx file (default "
                "0)\n"
                "  -pace=BYTES/MS      send each message in parts of BYTES, MS milliseconds apart\n"
                "  -checksum=roland[:K]  CS in the message is Roland's checksum; received Roland "
                "data messages are checked\n"
                "  -identify           ask who is there (identity request) and name every answer\n"
                "  -help               print the usage text and every option, then end\n"
                "  -version            print the version, then end\n"
                "  -quiet              print only the answer, errors and warnings: no usage "
                "text, no progress\n";
        add(c);
        c.name = "VersionLine";
        c.args = {"-version", "-midiout=no such device", "F0", "01", "F7"};
        c.out = std::string("midiparley ") + MIDIPARLEY_VERSION + "\n";
        add(c);
    }

    // -quiet: the answer alone on standard output, errors and warnings on standard error.
    {
        E2eCase c = exchange("QuietExchange",
                             {"-quiet", "-timeout=5", "F0", "7E", "7F", "06", "01", "F7"}, "", "");
        c.out = kIdentityReplyLine;
        c.err = "";
        add(c);
        c = listenOnly("QuietWarning", {"-quiet", "-timeout=0", "-midiin=99"}, 99, "");
        c.out = "";
        c.err = noF7(99);
        add(c);
        c = invalidToken("SettingsFileSetsQuietButNotHelpOrVersion", {"F0"}, "F0");
        c.out = "";
        c.withSettings = true;
        c.settings = "[Settings]\nquiet=yes\nhelp=1\nversion=1\n";
        add(c);
        // Every error is its one line: no usage text.
        c = parseError("QuietUnreadableCommandLine", {"-quiet", "-x"}, "invalid option: -x");
        c.out = "";
        add(c);
        c = parseError("QuietSettingsFileError", {"-quiet"},
                       "option needs a number value: -timeout");
        c.out = "";
        c.withSettings = true;
        c.settings = "[Settings]\ntimeout=abc\n";
        add(c);
        c = parseError("QuietMessageAndSendFile", {"-quiet", "-send=x.syx", "F0", "F7"},
                       "a message on the command line and -send=x.syx exclude each other");
        c.out = "";
        add(c);
    }

    // A question does not excuse a command line that cannot be read.
    {
        E2eCase c = parseError("HelpStillRefusesABadCommandLine", {"-help", "-idle=x"},
                               "option needs a number value: -idle");
        c.withSettings = true;
        c.settings = "[Settings]\nidle=abc\n";
        add(c);
    }

    // The options beyond the first three take whole decimal numbers only.
    add(parseError("IdleWithExponent", {"-idle=1e3"}, "option needs a number value: -idle"));
    add(parseError("GapWithPoint", {"-gap=1.5"}, "option needs a number value: -gap"));
    add(parseError("GapTooLarge", {"-gap=2147483648"}, "number too large: -gap"));

    // The workbench: -pace, -checksum and -identify.
    add(parseError("PaceOutOfRange", {"-pace=256/10001"},
                   "option needs a value BYTES/MS (BYTES 1 to 65535, MS 0 to 10000): -pace"));
    {
        E2eCase c = parseError("ChecksumValueInSettingsFile", {},
                               "option needs a value roland or roland:K (K 2 to 998): -checksum");
        c.withSettings = true;
        c.settings = "[Settings]\nchecksum=yamaha\n";
        add(c);
    }
    add(invalidToken("CsWithoutChecksum", {"F0", "41", "CS", "F7"}, "CS"));
    add(invalidToken("CsNotLast",
                     {"-checksum=roland", "F0", "41", "10", "42", "12", "CS", "00", "F7"},
                     "CS: the checksum must be the last byte before F7"));
    add(parseError("IdentifyWithMessage", {"-identify", "F0", "F7"},
                   "a message on the command line and -identify exclude each other"));
    const std::vector<std::string> dataSet = {"F0", "41", "10", "42", "12", "40", "00", "7F", "00"};
    {
        std::vector<std::string> args = {"-checksum=roland"};
        args.insert(args.end(), dataSet.begin(), dataSet.end());
        args.insert(args.end(), {"CS", "F7"});
        const std::string bytes = "F0 41 10 42 12 40 00 7F 00 41 F7";
        add(exchange("RolandChecksumTyped", args, bytes, bytes + " \n"));
        args[10] = "40";  // echoed with the wrong checksum
        E2eCase c =
            exchange("WrongRolandChecksumReceived", args, "F0 41 10 42 12 40 00 7F 00 40 F7",
                     "F0 41 10 42 12 40 00 7F 00 40 F7 \n");
        c.err = sent("F0 41 10 42 12 40 00 7F 00 40 F7", 0) + awaiting(0) +
                "warning: wrong Roland checksum in received message 1 at byte offset 0 (F0 41 10 "
                "42 12 40 00 7F 00 ...): it carries 40, its bytes give 41\n" +
                kPress;
        add(c);
    }
    const std::string idLine =
        "ID 00: non-commercial use (7D), family 01 00, member 01 00, version 01 00 00 00\n";
    add(exchange("IdentifyTheVirtualInstrument", {"-identify"}, "F0 7E 7F 06 01 F7",
                 kIdentityReplyLine + idLine));
    {
        // In parts of 3 bytes, from the settings file, whose message gives way.
        E2eCase c = exchange("IdentifyQuietAndPaced", {"-quiet"}, "", "");
        c.withSettings = true;
        c.settings = "[Settings]\nidentify=yes\npace=3/1\nhexsysex1=F0\nhexsysex2=F7\n";
        c.out = idLine;
        c.err = "";
        add(c);
    }
    {
        E2eCase c = exchange("IdentifyWithoutReply", {"-identify", "-midiin=99", "-timeout=0"},
                             "F0 7E 7F 06 01 F7", "");
        c.status = 1;
        c.err = sent("F0 7E 7F 06 01 F7", 0) + awaiting(99) +
                "error: no identity reply from MIDI input device 99 within 0 seconds\n";
        add(c);
    }
    return cases;
}

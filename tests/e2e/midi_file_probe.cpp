// The .mid reader and writer on real files, for the test against mido:
//   midi_file_probe read FILE    prints "skipped N", then "MICROSECONDS HEX..." for each message
//   midi_file_probe write FILE   writes the messages given as "MILLISECONDS HEX..." lines on stdin
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>

#include "driver/hex_text.h"
#include "driver/midi_file.h"

int main(int argc, char** argv) {
    const std::string mode = argc == 3 ? argv[1] : "";
    std::vector<uint8_t> bytes;
    std::string error;
    MidiFileSysEx contents;
    if (mode == "read") {
        std::ifstream in(argv[2], std::ios::binary);
        bytes.assign(std::istreambuf_iterator<char>(in), {});
        if (readMidiFile(argv[2], bytes, contents, error)) {
            std::cout << "skipped " << contents.skippedEvents << "\n";
            for (const TimedSysEx& message : contents.messages) {
                std::cout << message.microseconds;
                for (uint8_t byte : message.bytes) {
                    std::cout << " " << hexByteText(byte);
                }
                std::cout << "\n";
            }
            return 0;
        }
    } else if (mode == "write") {
        for (std::string line; std::getline(std::cin, line);) {
            std::istringstream fields(line);
            TimedSysEx message;
            fields >> message.microseconds >> std::hex;
            message.microseconds *= 1000;
            for (unsigned byte = 0; fields >> byte;) {
                message.bytes.push_back(static_cast<uint8_t>(byte));
            }
            contents.messages.push_back(message);
        }
        if (writeMidiFile(contents.messages, bytes, error)) {
            std::ofstream out(argv[2], std::ios::binary);
            out.write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
            return out.good() ? 0 : 1;
        }
    } else {
        error = "usage: midi_file_probe read|write FILE";
    }
    std::cerr << error << "\n";
    return 1;
}

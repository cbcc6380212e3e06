// The check and split of .syx file contents on any bytes. The result is compared with a plain
// reading of the rules: messages F0 ... F7 back to back, only 00 to 7F inside, nothing else.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "driver/syx_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    SyxFile file;
    file.bytes.assign(data, data + size);
    const std::vector<uint8_t>& bytes = file.bytes;
    size_t errorOffset = 0;
    std::string errorText;
    const bool accepted = splitSyxMessages(file, errorOffset, errorText);

    bool valid = size > 0;
    bool inMessage = false;
    std::vector<size_t> starts;
    for (size_t i = 0; i < size && valid; ++i) {
        if (!inMessage) {
            valid = bytes[i] == 0xF0;
            starts.push_back(i);
            inMessage = true;
        } else if (bytes[i] == 0xF7) {
            inMessage = false;
        } else {
            valid = bytes[i] <= 0x7F;
        }
    }
    valid = valid && !inMessage;
    if (accepted != valid || (!accepted && (errorOffset > size || errorText.empty()))) {
        std::abort();
    }
    if (accepted) {
        if (file.messageStarts != starts) {
            std::abort();
        }
        size_t total = 0;
        for (size_t m = 0; m < starts.size(); ++m) {
            total += syxMessageLength(file, m);
        }
        if (total != size) {
            std::abort();
        }
    }
    return 0;
}

#include "driver/received_messages.h"

std::vector<MessageSpan> completeMessages(const std::vector<uint8_t>& received) {
    std::vector<MessageSpan> messages;
    bool inMessage = false;
    size_t start = 0;
    for (size_t i = 0; i < received.size(); ++i) {
        const uint8_t byte = received[i];
        if (byte == 0xF0) {
            inMessage = true;
            start = i;
        } else if (inMessage && byte == 0xF7) {
            messages.push_back(MessageSpan{start, i + 1 - start});
            inMessage = false;
        } else if (byte > 0x7F) {
            inMessage = false;
        }
    }
    return messages;
}

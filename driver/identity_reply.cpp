#include "driver/identity_reply.h"

#include <algorithm>

#include "driver/hex_text.h"
#include "driver/manufacturer_ids.h"
#include "driver/received_messages.h"

namespace {

// The bytes in upper-case hex, a blank between two.
std::string spacedHex(const uint8_t* bytes, size_t count) {
    std::string text;
    for (size_t i = 0; i < count; ++i) {
        text += (i > 0 ? " " : "") + hexByteText(bytes[i]);
    }
    return text;
}

// Reads the reply at message (F0 first, F7 last, length bytes); false when it is none.
bool readIdentityReply(const uint8_t* message, size_t length, IdentityReply& reply) {
    if (length < 5 || message[1] != 0x7E || message[3] != 0x06 || message[4] != 0x02) {
        return false;
    }
    const size_t idLength = message[5] == 0x00 ? 3 : 1;
    // F0 7E dd 06 02, the ID, family, member and version, and F7.
    if (length < 5 + idLength + 2 + 2 + 4 + 1) {
        return false;
    }
    const uint8_t* field = message + 5;
    reply.deviceId = message[2];
    reply.manufacturer.assign(field, field + idLength);
    field += idLength;
    std::copy(field, field + 2, reply.family);
    std::copy(field + 2, field + 4, reply.member);
    std::copy(field + 4, field + 8, reply.version);
    return true;
}

}  // namespace

std::vector<IdentityReply> findIdentityReplies(const std::vector<uint8_t>& received) {
    std::vector<IdentityReply> replies;
    for (const MessageSpan& span : completeMessages(received)) {
        IdentityReply reply;
        if (readIdentityReply(received.data() + span.offset, span.length, reply)) {
            replies.push_back(reply);
        }
    }
    return replies;
}

std::string identityLine(const IdentityReply& reply) {
    const std::string id = spacedHex(reply.manufacturer.data(), reply.manufacturer.size());
    const char* name = manufacturerName(id);
    return "ID " + hexByteText(reply.deviceId) + ": " +
           (name != nullptr ? name : "unknown manufacturer") + " (" + id + "), family " +
           spacedHex(reply.family, 2) + ", member " + spacedHex(reply.member, 2) + ", version " +
           spacedHex(reply.version, 4);
}

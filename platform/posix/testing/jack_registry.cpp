#include "platform/posix/testing/jack_registry.h"

#include <errno.h>
#include <signal.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>

const char kJackRegistryPath[] = "/dev/shm/jack-shm-registry";

namespace {

// JACK 1.9's header (shm.h): magic, protocol, type, size, header length, entry length, then
// the slots, each a pid and a name of 257 bytes ("jack-UID:NAME:"), padded to 264.
constexpr uint32_t kMagic = 0x4a41434b;  // "JACK"
constexpr size_t kSlotsAt = 24;
constexpr size_t kSlotSize = 264;
constexpr size_t kNameSize = 257;

uint32_t word(const std::string& bytes, size_t at) {
    uint32_t value = 0;
    std::memcpy(&value, bytes.data() + at, sizeof value);
    return value;
}

bool running(pid_t pid) {
    return kill(pid, 0) == 0 || errno == EPERM;
}

std::string describe(const JackServerSlot& slot) {
    return slot.name + " (pid " + std::to_string(slot.pid) +
           (slot.running ? ", running)" : ", gone)");
}

}  // namespace

std::vector<JackServerSlot> readJackRegistry(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::string bytes(kSlotsAt + kJackServerSlots * kSlotSize, '\0');
    std::vector<JackServerSlot> slots;
    if (!file.read(&bytes[0], static_cast<std::streamsize>(bytes.size())) ||
        word(bytes, 0) != kMagic || word(bytes, 16) != bytes.size()) {
        return slots;
    }
    for (size_t i = 0; i < kJackServerSlots; ++i) {
        const size_t at = kSlotsAt + i * kSlotSize;
        JackServerSlot slot;
        slot.pid = static_cast<pid_t>(word(bytes, at));
        const std::string prefix(bytes.c_str() + at + 4,
                                 strnlen(bytes.c_str() + at + 4, kNameSize));
        unsigned uid = 0;
        int nameAt = 0;
        if (slot.pid == 0 || std::sscanf(prefix.c_str(), "jack-%u:%n", &uid, &nameAt) != 1 ||
            nameAt == 0 || prefix.back() != ':') {
            continue;
        }
        slot.uid = static_cast<uid_t>(uid);
        slot.name = prefix.substr(nameAt, prefix.size() - nameAt - 1);
        slot.running = running(slot.pid);
        slots.push_back(slot);
    }
    return slots;
}

std::string chooseJackServerName(const std::vector<JackServerSlot>& slots,
                                 const std::vector<std::string>& names, std::string& error) {
    std::string held;
    for (const std::string& name : names) {
        bool taken = false;
        for (const JackServerSlot& slot : slots) {
            if (slot.uid == getuid() && slot.name == name) {
                if (!slot.running) {
                    return name;  // the new server reclaims the slot
                }
                taken = true;
                held += (held.empty() ? "" : ", ") + describe(slot);
            }
        }
        if (!taken && slots.size() < kJackServerSlots) {
            return name;
        }
    }
    if (slots.size() < kJackServerSlots) {
        error = "the JACK test servers' names are all held by running processes: " + held +
                "; end them (kill -CONT, then kill -TERM)";
        return std::string();
    }
    std::string taken;
    for (const JackServerSlot& slot : slots) {
        taken += (taken.empty() ? "" : ", ") + describe(slot);
    }
    error = "no JACK server can start here: all " + std::to_string(kJackServerSlots) +
            " slots of JACK's server registry " + kJackRegistryPath + " are taken: " + taken +
            ". A server that ended without its clean stop keeps its slot until a server of its "
            "name starts again. To free them, end the JACK servers still running, then, while "
            "no JACK server runs, remove " +
            kJackRegistryPath;
    return std::string();
}

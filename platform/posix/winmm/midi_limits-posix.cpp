#include "platform/midi_limits.h"

#include <algorithm>
#include <mutex>

#include "platform/posix/winmm/handle_registry.h"
#include "platform/posix/winmm/midi_in_device.h"

// The layer's ports carry any length a header can describe.
uint32_t longestLongMessage() {
    return 0x7FFFFFFF;
}

uint32_t sysExBytesDroppedBy(HMIDIIN input) {
    std::shared_ptr<MidiInDevice> device = handleRegistry<MidiInDevice>().find(input);
    if (!device) {
        return 0;
    }
    std::lock_guard<std::mutex> lock(device->mutex);
    return static_cast<uint32_t>(std::min<size_t>(device->assembler.lostBytes, 0xFFFFFFFF));
}

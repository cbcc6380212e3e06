#include "platform/midi_limits.h"

uint32_t longestLongMessage() {
    return 65535;
}

uint32_t sysExBytesDroppedBy(HMIDIIN) {
    return 0;
}

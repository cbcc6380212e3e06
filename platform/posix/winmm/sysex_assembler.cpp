#include "platform/posix/winmm/sysex_assembler.h"

namespace {

void returnFront(std::deque<MIDIHDR*>& queue, std::vector<InputEvent>& out) {
    MIDIHDR* header = queue.front();
    queue.pop_front();
    header->dwFlags = (header->dwFlags & ~static_cast<DWORD>(MHDR_INQUEUE)) | MHDR_DONE;
    out.push_back({MIM_LONGDATA, reinterpret_cast<DWORD_PTR>(header)});
}

// A SysEx cut short hands back what its buffer holds so far.
void endSysEx(SysExAssembler& state, std::deque<MIDIHDR*>& queue, std::vector<InputEvent>& out) {
    if (state.inSysEx && !queue.empty() && queue.front()->dwBytesRecorded > 0) {
        returnFront(queue, out);
    }
    state.inSysEx = false;
}

void storeSysExByte(SysExAssembler& state, std::deque<MIDIHDR*>& queue, BYTE byte,
                    std::vector<InputEvent>& out) {
    if (queue.empty()) {
        ++state.lostBytes;
        return;
    }
    MIDIHDR* header = queue.front();
    header->lpData[header->dwBytesRecorded++] = static_cast<char>(byte);
    if (byte == 0xF7 || header->dwBytesRecorded >= header->dwBufferLength) {
        returnFront(queue, out);
    }
}

void emitShort(BYTE status, BYTE data1, BYTE data2, std::vector<InputEvent>& out) {
    DWORD_PTR packed = static_cast<DWORD_PTR>(status) | (static_cast<DWORD_PTR>(data1) << 8) |
                       (static_cast<DWORD_PTR>(data2) << 16);
    out.push_back({MIM_DATA, packed});
}

void feedStatus(SysExAssembler& state, std::deque<MIDIHDR*>& queue, BYTE byte,
                std::vector<InputEvent>& out) {
    if (byte >= 0xF8) {
        if (shortMessageLength(byte) == 1) {
            emitShort(byte, 0, 0, out);
        }
        return;
    }
    if (byte == 0xF7) {
        if (state.inSysEx) {
            storeSysExByte(state, queue, byte, out);
            state.inSysEx = false;
        }
        return;
    }
    endSysEx(state, queue, out);
    state.dataCount = 0;
    state.runningStatus = 0;
    if (byte == 0xF0) {
        state.inSysEx = true;
        storeSysExByte(state, queue, byte, out);
        return;
    }
    int length = shortMessageLength(byte);
    if (length == 1) {
        emitShort(byte, 0, 0, out);
    } else if (length > 1) {
        state.runningStatus = byte;
    }
}

void feedData(SysExAssembler& state, std::deque<MIDIHDR*>& queue, BYTE byte,
              std::vector<InputEvent>& out) {
    if (state.inSysEx) {
        storeSysExByte(state, queue, byte, out);
        return;
    }
    if (state.runningStatus == 0) {
        return;
    }
    state.data[state.dataCount++] = byte;
    if (state.dataCount + 1 < shortMessageLength(state.runningStatus)) {
        return;
    }
    emitShort(state.runningStatus, state.data[0], state.dataCount > 1 ? state.data[1] : 0, out);
    state.dataCount = 0;
    // System common messages have no running status.
    if (state.runningStatus >= 0xF0) {
        state.runningStatus = 0;
    }
}

// Whether the byte is stored in a header: the start of a SysEx, or its data and its end.
bool needsHeader(const SysExAssembler& state, BYTE byte) {
    return byte == 0xF0 || (state.inSysEx && (byte < 0x80 || byte == 0xF7));
}

}  // namespace

int shortMessageLength(BYTE status) {
    if (status < 0x80) {
        return 0;
    }
    if (status < 0xF0) {
        BYTE kind = status & 0xF0;
        return (kind == 0xC0 || kind == 0xD0) ? 2 : 3;
    }
    switch (status) {
        case 0xF1:
        case 0xF3:
            return 2;
        case 0xF2:
            return 3;
        case 0xF6:
        case 0xF8:
        case 0xFA:
        case 0xFB:
        case 0xFC:
        case 0xFE:
        case 0xFF:
            return 1;
        default:
            return 0;
    }
}

size_t assembleBytes(SysExAssembler& state, std::deque<MIDIHDR*>& queue, const BYTE* bytes,
                     size_t count, std::vector<InputEvent>& out, bool stopWhenNoBuffer) {
    for (size_t i = 0; i < count; ++i) {
        if (stopWhenNoBuffer && queue.empty() && needsHeader(state, bytes[i])) {
            return i;
        }
        if (bytes[i] & 0x80) {
            feedStatus(state, queue, bytes[i], out);
        } else {
            feedData(state, queue, bytes[i], out);
        }
    }
    return count;
}

void returnAllBuffers(SysExAssembler& state, std::deque<MIDIHDR*>& queue,
                      std::vector<InputEvent>& out) {
    state.inSysEx = false;
    while (!queue.empty()) {
        returnFront(queue, out);
    }
}

// An instrument of the tests' own on the ALSA sequencer: one port "instrument" that answers
// like the virtual instrument. The identity request F0 7E id 06 01 F7 gets the identity reply;
// the dump request F0 7D 01 hh ll F7 gets F0 7D 02, hh*128+ll bytes (byte i is i AND 7F), F7;
// any other message comes back unchanged.
// Usage: alsa_instrument whole|parts|leave
//   whole: every answer goes out as one event;
//   parts: in events of 256 bytes, the way the kernel's MIDI cable driver delivers bytes;
//   leave: the first complete message ends the program without an answer, so its port
//          disappears while the other side waits.
// Prints "ready" on standard output once the port exists.
#include <alsa/asoundlib.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/posix/winmm/instrument_answers.h"

namespace {

using Bytes = std::vector<unsigned char>;

Bytes answerTo(const Bytes& message) {
    return instrumentAnswer(message.data(), message.size());
}

bool send(snd_seq_t* seq, int port, const Bytes& bytes, size_t part) {
    for (size_t at = 0; at < bytes.size(); at += part) {
        snd_seq_event_t event;
        snd_seq_ev_clear(&event);
        snd_seq_ev_set_source(&event, port);
        snd_seq_ev_set_subs(&event);
        snd_seq_ev_set_direct(&event);
        size_t length = std::min(part, bytes.size() - at);
        snd_seq_ev_set_sysex(&event, length, const_cast<unsigned char*>(&bytes[at]));
        if (snd_seq_event_output_direct(seq, &event) < 0) {
            return false;
        }
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    const char* mode = argc == 2 ? argv[1] : "";
    if (std::strcmp(mode, "whole") != 0 && std::strcmp(mode, "parts") != 0 &&
        std::strcmp(mode, "leave") != 0) {
        std::fprintf(stderr, "usage: alsa_instrument whole|parts|leave\n");
        return 2;
    }
    const size_t part = std::strcmp(mode, "parts") == 0 ? 256 : 1 << 20;
    snd_seq_t* seq = nullptr;
    if (snd_seq_open(&seq, "default", SND_SEQ_OPEN_DUPLEX, 0) < 0) {
        std::fprintf(stderr, "alsa_instrument: cannot open the sequencer\n");
        return 1;
    }
    snd_seq_set_client_name(seq, "alsa test instrument");
    snd_seq_set_input_buffer_size(seq, 1 << 16);
    int port =
        snd_seq_create_simple_port(seq, "instrument",
                                   SND_SEQ_PORT_CAP_READ | SND_SEQ_PORT_CAP_SUBS_READ |
                                       SND_SEQ_PORT_CAP_WRITE | SND_SEQ_PORT_CAP_SUBS_WRITE,
                                   SND_SEQ_PORT_TYPE_MIDI_GENERIC | SND_SEQ_PORT_TYPE_APPLICATION);
    if (port < 0) {
        std::fprintf(stderr, "alsa_instrument: cannot create the port\n");
        return 1;
    }
    std::printf("ready\n");
    std::fflush(stdout);

    Bytes message;
    for (;;) {
        snd_seq_event_t* event = nullptr;
        int status = snd_seq_event_input(seq, &event);
        if (status < 0 && status != -ENOSPC) {
            break;
        }
        if (event == nullptr || event->type != SND_SEQ_EVENT_SYSEX) {
            continue;
        }
        const auto* data = static_cast<const unsigned char*>(event->data.ext.ptr);
        for (unsigned i = 0; i < event->data.ext.len; ++i) {
            if (data[i] == 0xF0) {
                message.clear();
            }
            message.push_back(data[i]);
            if (data[i] != 0xF7) {
                continue;
            }
            if (std::strcmp(mode, "leave") == 0) {
                return 0;
            }
            if (!send(seq, port, answerTo(message), part)) {
                std::fprintf(stderr, "alsa_instrument: cannot send the answer\n");
                return 1;
            }
            message.clear();
        }
    }
    return 0;
}

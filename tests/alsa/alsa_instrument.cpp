// An instrument of the tests' own on the ALSA sequencer: one port "instrument" that answers
// like the virtual instrument (platform/posix/winmm/instrument_answers.h): the identity reply,
// the counting dump F0 7D 01 hh ll F7, the bulk dump F0 7D 03 nn F7 (nn messages 10 ms
// apart), the large dump F0 7D 06 ch cl sh sl F7 and the cut one F0 7D 08 ... F7 (each
// message an event of its own, at the speed of a MIDI cable); any other
// message comes back unchanged.
// Usage: alsa_instrument whole|parts|leave [ARRIVALS] | hog FIFO
//   whole: every message goes out as one event;
//   parts: in events of 256 bytes, the way the kernel's MIDI cable driver delivers bytes;
//   leave: the first complete message ends the program without an answer, so its port
//          disappears while the other side waits;
//   hog:   no port; once the FIFO has a reader, takes every free client of the sequencer,
//          so that nobody can open it any more, then writes a message to the FIFO for the
//          reader to send (-send), and holds the clients until killed.
// ARRIVALS, when given, gets a line "MILLISECONDS LENGTH" for every complete message
// received, the time counted from the start.
// Prints "ready" on standard output once the port exists.
#include <alsa/asoundlib.h>

#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>
#include <vector>

#include "platform/posix/winmm/instrument_answers.h"

namespace {

using Bytes = std::vector<unsigned char>;
using Clock = std::chrono::steady_clock;

// A large dump goes at the speed of a MIDI cable (31250 baud, 10 bits a byte). Faster, it
// would fill the receiver's queue in the sequencer, which then drops everything queued.
constexpr uint64_t kCableBytesPerSecond = 3125;
constexpr auto kBulkPause = std::chrono::milliseconds(10);

bool sendEvent(snd_seq_t* seq, int port, const unsigned char* bytes, size_t length) {
    snd_seq_event_t event;
    snd_seq_ev_clear(&event);
    snd_seq_ev_set_source(&event, port);
    snd_seq_ev_set_subs(&event);
    snd_seq_ev_set_direct(&event);
    snd_seq_ev_set_sysex(&event, length, const_cast<unsigned char*>(bytes));
    return snd_seq_event_output_direct(seq, &event) >= 0;
}

bool send(snd_seq_t* seq, int port, const Bytes& bytes, size_t part) {
    for (size_t at = 0; at < bytes.size(); at += part) {
        if (!sendEvent(seq, port, &bytes[at], std::min(part, bytes.size() - at))) {
            return false;
        }
    }
    return true;
}

// Sends the answer to a complete message: a dump message by message, anything else at once.
bool answer(snd_seq_t* seq, int port, const Bytes& message, size_t part) {
    if (const unsigned count = bulkDumpRequest(message.data(), message.size())) {
        for (unsigned k = 0; k < count; ++k) {
            if (k > 0) {
                std::this_thread::sleep_for(kBulkPause);
            }
            if (!send(seq, port, bulkDumpMessage(static_cast<uint8_t>(k)), part)) {
                return false;
            }
        }
        return true;
    }
    const LargeDump large = largeDumpRequest(message.data(), message.size());
    const auto start = Clock::now();
    uint64_t sent = 0;
    for (unsigned k = 0; k < large.count; ++k) {
        std::this_thread::sleep_until(
            start + std::chrono::microseconds(sent * 1000000 / kCableBytesPerSecond));
        Bytes next;
        appendLargeDumpMessage(large, k, next);
        if (!send(seq, port, next, part)) {
            return false;
        }
        sent += next.size();
    }
    return large.count != 0 ||
           send(seq, port, instrumentAnswer(message.data(), message.size()), part);
}

void ignoreAlsaError(const char*, int, const char*, int, const char*, ...) {}

// Once the FIFO at path has a reader, takes every free client of the sequencer, writes a
// message (F0 7D 09 F7) to the FIFO, closes it and holds the clients until killed.
int hog(const char* path) {
    FILE* fifo = std::fopen(path, "wb");
    if (fifo == nullptr) {
        std::fprintf(stderr, "alsa_instrument: cannot open %s\n", path);
        return 1;
    }
    // The open that finds no free client is expected: ALSA's line about it would only confuse.
    snd_lib_error_set_handler(ignoreAlsaError);
    std::vector<snd_seq_t*> clients;
    snd_seq_t* seq = nullptr;
    while (snd_seq_open(&seq, "default", SND_SEQ_OPEN_DUPLEX, 0) >= 0) {
        clients.push_back(seq);
    }
    const unsigned char message[] = {0xF0, kInstrumentManufacturerId, 0x09, 0xF7};
    std::fwrite(message, 1, sizeof message, fifo);
    std::fclose(fifo);
    for (;;) {
        pause();
    }
}

}  // namespace

int main(int argc, char** argv) {
    const char* mode = argc >= 2 ? argv[1] : "";
    if (std::strcmp(mode, "hog") == 0 && argc == 3) {
        return hog(argv[2]);
    }
    const bool known = std::strcmp(mode, "whole") == 0 || std::strcmp(mode, "parts") == 0 ||
                       std::strcmp(mode, "leave") == 0;
    if (!known || argc > 3) {
        std::fprintf(stderr, "usage: alsa_instrument whole|parts|leave [ARRIVALS] | hog FIFO\n");
        return 2;
    }
    FILE* arrivals = argc == 3 ? std::fopen(argv[2], "a") : nullptr;
    if (argc == 3 && arrivals == nullptr) {
        std::fprintf(stderr, "alsa_instrument: cannot open %s\n", argv[2]);
        return 1;
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
    const auto start = Clock::now();
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
            if (arrivals != nullptr) {
                const auto ms =
                    std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
                std::fprintf(arrivals, "%lld %zu\n", static_cast<long long>(ms.count()),
                             message.size());
                std::fflush(arrivals);
            }
            if (std::strcmp(mode, "leave") == 0) {
                return 0;
            }
            if (!answer(seq, port, message, part)) {
                std::fprintf(stderr, "alsa_instrument: cannot send the answer\n");
                return 1;
            }
            message.clear();
        }
    }
    return 0;
}

// An instrument on a JACK server, for the tests of the real MIDI ports. It answers a device
// inquiry (F0 7E id 06 01 F7) with an identity reply and a dump request (F0 7D 01 hh ll F7)
// with hh * 128 + ll counting bytes, in the same process cycle; a long dump request
// (F0 7D 05 nn F7) with one SysEx of nn x 10,000 bytes in all, in pieces over many cycles; a
// large dump request (F0 7D 06 or 08, as the virtual instrument takes it) with its messages,
// at most 16,000 bytes a cycle in pieces of up to 4000; any other event (also a part of a long
// SysEx message) goes back unchanged. It notes when each event starting with F0 arrived, by
// its own clock (jack_get_time in the cycle that received it).
// Usage: jack_instrument CLIENT-NAME. Prints "ready" once its ports "in" and "out" exist,
// "connected" each time "out" gets connected, and, for each line "arrivals" on its standard
// input, one line "arrival MICROSECONDS" for each SysEx start so far, then "end". Ends when its
// standard input closes.
#include <jack/jack.h>
#include <jack/midiport.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/posix/winmm/instrument_answers.h"

namespace {

jack_port_t* inPort = nullptr;
jack_port_t* outPort = nullptr;
// The long dump: bytes in all, and bytes sent so far.
size_t longTotal = 0;
size_t longSent = 0;

// The large dump: the request, the next message to make, and the one being sent.
constexpr size_t kLargeBytesPerCycle = 16000;
LargeDump large;
unsigned largeNext = 0;
std::vector<uint8_t> largeMessage;
size_t largeMessageSent = 0;

// Arrival times of SysEx starts: written by the process thread alone, published by the count.
constexpr size_t kMostArrivals = 4096;
jack_time_t arrivals[kMostArrivals];
std::atomic<size_t> arrivalCount{0};

void quiet(const char*) {}

void noteArrival(const jack_midi_event_t& event, jack_time_t now) {
    const size_t count = arrivalCount.load(std::memory_order_relaxed);
    if (event.size > 0 && event.buffer[0] == 0xF0 && count < kMostArrivals) {
        arrivals[count] = now;
        arrivalCount.store(count + 1, std::memory_order_release);
    }
}

void printArrivals() {
    const size_t count = arrivalCount.load(std::memory_order_acquire);
    for (size_t i = 0; i < count; ++i) {
        std::printf("arrival %llu\n", static_cast<unsigned long long>(arrivals[i]));
    }
    std::printf("end\n");
    std::fflush(stdout);
}

// Sends the next pieces of the large dump, as many as the cycle and the port's buffer take.
void sendLargePieces(void* outBuffer) {
    size_t budget = kLargeBytesPerCycle;
    while (budget > 0) {
        if (largeMessageSent == largeMessage.size()) {
            if (largeNext == large.count) {
                large = LargeDump{};
                return;
            }
            largeMessage.clear();
            largeMessageSent = 0;
            appendLargeDumpMessage(large, largeNext++, largeMessage);
        }
        size_t size = largeMessage.size() - largeMessageSent;
        size = std::min({size, budget, size_t{4000}});
        jack_midi_data_t* piece = jack_midi_event_reserve(outBuffer, 0, size);
        if (piece == nullptr) {
            return;  // the port's buffer is full for this cycle
        }
        std::memcpy(piece, largeMessage.data() + largeMessageSent, size);
        largeMessageSent += size;
        budget -= size;
    }
}

void sendLongPiece(void* outBuffer) {
    const size_t size = longTotal - longSent < 4000 ? longTotal - longSent : 4000;
    jack_midi_data_t* piece = jack_midi_event_reserve(outBuffer, 0, size);
    if (piece == nullptr) {
        return;
    }
    for (size_t i = 0; i < size; ++i) {
        piece[i] = static_cast<jack_midi_data_t>((longSent + i) & 0x7F);
    }
    if (longSent == 0) {
        piece[0] = 0xF0;
    }
    longSent += size;
    if (longSent == longTotal) {
        piece[size - 1] = 0xF7;
        longTotal = longSent = 0;
    }
}

void answer(const jack_midi_event_t& request, void* outBuffer) {
    const unsigned char* m = request.buffer;
    if (request.size == 5 && m[0] == 0xF0 && m[1] == 0x7D && m[2] == 0x05 && m[4] == 0xF7) {
        longTotal = m[3] * 10000u;
        longSent = 0;
        return;
    }
    const LargeDump asked = largeDumpRequest(request.buffer, request.size);
    if (asked.count != 0) {
        large = asked;
        largeNext = 0;
        largeMessage.clear();
        largeMessageSent = 0;
        return;
    }
    const std::vector<uint8_t> reply = instrumentAnswer(request.buffer, request.size);
    jack_midi_event_write(outBuffer, request.time, reply.data(), reply.size());
}

int process(jack_nframes_t frames, void*) {
    void* inBuffer = jack_port_get_buffer(inPort, frames);
    void* outBuffer = jack_port_get_buffer(outPort, frames);
    jack_midi_clear_buffer(outBuffer);
    jack_nframes_t count = jack_midi_get_event_count(inBuffer);
    const jack_time_t now = count > 0 ? jack_get_time() : 0;
    for (jack_nframes_t i = 0; i < count; ++i) {
        jack_midi_event_t event;
        if (jack_midi_event_get(&event, inBuffer, i) == 0) {
            noteArrival(event, now);
            answer(event, outBuffer);
        }
    }
    if (longTotal != 0) {
        sendLongPiece(outBuffer);
    }
    if (large.count != 0) {
        sendLargePieces(outBuffer);
    }
    return 0;
}

// Tells the test that a client has connected to the instrument's output, without the test
// opening a client of its own to look (see the killed-server test).
void onConnect(jack_port_id_t a, jack_port_id_t b, int connect, void* client) {
    jack_client_t* self = static_cast<jack_client_t*>(client);
    if (connect != 0 &&
        (jack_port_by_id(self, a) == outPort || jack_port_by_id(self, b) == outPort)) {
        static const char line[] = "connected\n";
        ssize_t written = write(STDOUT_FILENO, line, sizeof line - 1);
        (void)written;
    }
}

}  // namespace

int main(int argc, char** argv) {
    const char* name = argc > 1 ? argv[1] : "jack_instrument";
    signal(SIGPIPE, SIG_IGN);  // a test that stopped reading the output must not end it
    jack_set_error_function(quiet);
    jack_set_info_function(quiet);
    jack_options_t options = static_cast<jack_options_t>(JackNoStartServer | JackUseExactName);
    jack_status_t status{};
    jack_client_t* client = jack_client_open(name, options, &status);
    if (client == nullptr) {
        std::fprintf(stderr, "jack_instrument: cannot join the JACK server (status 0x%x)\n",
                     static_cast<unsigned>(status));
        return 1;
    }
    largeMessage.reserve(16400);  // the longest message: no allocation on the process thread
    inPort = jack_port_register(client, "in", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
    outPort = jack_port_register(client, "out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
    if (inPort == nullptr || outPort == nullptr ||
        jack_set_process_callback(client, process, nullptr) != 0 ||
        jack_set_port_connect_callback(client, onConnect, client) != 0 ||
        jack_activate(client) != 0) {
        std::fprintf(stderr, "jack_instrument: cannot set up its ports\n");
        jack_client_close(client);
        return 1;
    }
    std::printf("ready\n");
    std::fflush(stdout);
    char line[64];
    while (std::fgets(line, sizeof line, stdin) != nullptr) {
        if (std::strcmp(line, "arrivals\n") == 0) {
            printArrivals();
        }
    }
    jack_deactivate(client);
    jack_client_close(client);
    return 0;
}

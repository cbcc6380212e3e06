#include "platform/posix/midi_system/module/jack_output.h"

#include <errno.h>
#include <jack/jack.h>
#include <jack/midiport.h>
#include <jack/ringbuffer.h>
#include <semaphore.h>
#include <stdint.h>
#include <time.h>

#include <algorithm>
#include <atomic>

#include "platform/posix/midi_system/module/jack_ring_access.h"

namespace {

// Room for a few cycles' worth of parts; a sender waits for more.
constexpr size_t kRingBytes = 1 << 16;

}  // namespace

struct JackOutput {
    jack_client_t* client = nullptr;
    jack_port_t* port = nullptr;
    jack_ringbuffer_t* ring = nullptr;  // each part as its size (uint32_t), then its bytes
    sem_t cycled;                       // posted by the process thread at the end of each cycle
    bool semaphoreMade = false;
    std::atomic<bool> connected{false};  // seen by the process thread: parts may go
    std::atomic<bool> lost{false};       // a part that no port buffer holds was dropped
    std::atomic<bool> gone{false};       // the server closed the client
    std::atomic<uint32_t> cycles{0};
};

namespace {

// On JACK's process thread: moves whole parts into the port buffer while they fit, and posts.
int giveEvents(jack_nframes_t frames, void* record) {
    JackOutput* output = static_cast<JackOutput*>(record);
    void* buffer = jack_port_get_buffer(output->port, frames);
    jack_midi_clear_buffer(buffer);
    if (output->connected.load(std::memory_order_relaxed) ||
        jack_port_connected(output->port) > 0) {
        output->connected.store(true, std::memory_order_relaxed);
        JackRingAccess copies;
        uint32_t size = 0;
        while (jack_ringbuffer_peek(output->ring, reinterpret_cast<char*>(&size), sizeof size) ==
                   sizeof size &&
               jack_ringbuffer_read_space(output->ring) >= sizeof size + size) {
            jack_midi_data_t* event = nullptr;
            if (jack_midi_max_event_size(buffer) >= size) {
                event = jack_midi_event_reserve(buffer, 0, size);
            }
            if (event == nullptr && jack_midi_get_event_count(buffer) > 0) {
                break;  // the next cycle's buffer takes it
            }
            jack_ringbuffer_read_advance(output->ring, sizeof size);
            if (event != nullptr) {
                jack_ringbuffer_read(output->ring, reinterpret_cast<char*>(event), size);
            } else {
                jack_ringbuffer_read_advance(output->ring, size);
                output->lost.store(true, std::memory_order_release);
            }
        }
    }
    output->cycles.fetch_add(1, std::memory_order_release);
    sem_post(&output->cycled);
    return 0;
}

void onShutdown(void* record) {
    JackOutput* output = static_cast<JackOutput*>(record);
    output->gone.store(true, std::memory_order_release);
    sem_post(&output->cycled);
}

timespec deadlineAfter(std::chrono::milliseconds bound) {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    const long long nanoseconds =
        now.tv_nsec + static_cast<long long>(bound.count() % 1000) * 1000000;
    return timespec{now.tv_sec + static_cast<time_t>(bound.count() / 1000) +
                        static_cast<time_t>(nanoseconds / 1000000000),
                    static_cast<long>(nanoseconds % 1000000000)};
}

// Waits until `ready` holds, for a cycle at a time; false at the deadline or when the server
// has gone.
template <typename Ready>
bool awaitCycles(JackOutput* output, const timespec& deadline, Ready ready) {
    while (!ready()) {
        if (output->gone.load(std::memory_order_acquire)) {
            return false;
        }
        if (sem_clockwait(&output->cycled, CLOCK_MONOTONIC, &deadline) != 0 && errno != EINTR) {
            return false;
        }
    }
    return !output->gone.load(std::memory_order_acquire);
}

}  // namespace

JackOutput* openJackOutput(const char* clientName, const std::string& destination) {
    JackOutput* output = new JackOutput;
    output->ring = jack_ringbuffer_create(kRingBytes);
    output->semaphoreMade = sem_init(&output->cycled, 0, 0) == 0;
    output->client = jack_client_open(clientName, JackNoStartServer, nullptr);
    if (output->ring == nullptr || !output->semaphoreMade || output->client == nullptr) {
        closeJackOutput(output);
        return nullptr;
    }
    jack_ringbuffer_mlock(output->ring);
    jack_on_shutdown(output->client, onShutdown, output);
    output->port =
        jack_port_register(output->client, "out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
    if (output->port == nullptr ||
        jack_set_process_callback(output->client, giveEvents, output) != 0 ||
        jack_activate(output->client) != 0 ||
        jack_connect(output->client, jack_port_name(output->port), destination.c_str()) != 0) {
        closeJackOutput(output);
        return nullptr;
    }
    return output;
}

bool sendJackOutput(JackOutput* output, const BYTE* bytes, size_t count,
                    std::chrono::milliseconds bound) {
    jack_ringbuffer_t* ring = output->ring;
    for (size_t sent = 0; sent < count;) {
        const uint32_t part = static_cast<uint32_t>(std::min(kJackPartBytes, count - sent));
        if (!awaitCycles(output, deadlineAfter(bound), [ring, part] {
                return jack_ringbuffer_write_space(ring) >= sizeof part + part;
            })) {
            return false;
        }
        {
            JackRingAccess copy;
            jack_ringbuffer_write(ring, reinterpret_cast<const char*>(&part), sizeof part);
            jack_ringbuffer_write(ring, reinterpret_cast<const char*>(bytes + sent), part);
        }
        sent += part;
    }
    // Done on return, as a caller pacing its messages expects: the bytes have left the ring.
    return awaitCycles(output, deadlineAfter(bound),
                       [ring] { return jack_ringbuffer_read_space(ring) == 0; }) &&
           !output->lost.exchange(false, std::memory_order_acquire);
}

void finishJackOutput(JackOutput* output, std::chrono::milliseconds bound) {
    // The sender may have seen the ring empty before the cycle that emptied it counted itself,
    // so two cycles' ends are awaited: the second begins only once the first ended everywhere.
    const uint32_t start = output->cycles.load(std::memory_order_acquire);
    awaitCycles(output, deadlineAfter(bound), [output, start] {
        return output->cycles.load(std::memory_order_acquire) - start >= 2;
    });
}

void closeJackOutput(JackOutput* output) {
    if (output->client != nullptr) {
        jack_client_close(output->client);  // the process callback has stopped on return
    }
    if (output->semaphoreMade) {
        sem_destroy(&output->cycled);
    }
    if (output->ring != nullptr) {
        JackRingAccess freeing;
        jack_ringbuffer_free(output->ring);
    }
    delete output;
}

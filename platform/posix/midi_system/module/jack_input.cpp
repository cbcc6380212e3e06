#include "platform/posix/midi_system/module/jack_input.h"

#include <errno.h>
#include <jack/jack.h>
#include <jack/midiport.h>
#include <jack/ringbuffer.h>
#include <semaphore.h>

#include <atomic>
#include <system_error>
#include <thread>
#include <vector>

#include "platform/posix/midi_system/module/jack_ring_access.h"
#include "platform/posix/realtime_priority.h"

struct JackInput {
    jack_client_t* client = nullptr;
    jack_port_t* port = nullptr;
    jack_ringbuffer_t* ring = nullptr;
    sem_t filled;  // posted by the process thread after writing, and once to stop
    bool semaphoreMade = false;
    std::atomic<bool> stopping{false};
    std::atomic<size_t> droppedBytes{0};  // SysEx bytes that found no room, not yet reported
    std::thread forwarder;
    JackBytesForward forward = nullptr;
    JackBytesLost lost = nullptr;
    void* context = nullptr;
    size_t ringBytes = 0;
};

namespace {

// On JACK's process thread: copies and signals only (sem_post neither locks nor allocates).
int takeEvents(jack_nframes_t frames, void* record) {
    JackInput* input = static_cast<JackInput*>(record);
    void* buffer = jack_port_get_buffer(input->port, frames);
    bool wrote = false;
    const uint32_t count = jack_midi_get_event_count(buffer);
    for (uint32_t i = 0; i < count; ++i) {
        jack_midi_event_t event;
        if (jack_midi_event_get(&event, buffer, i) != 0 || event.size == 0) {
            continue;
        }
        if (jack_ringbuffer_write_space(input->ring) >= event.size) {
            JackRingAccess copy;
            jack_ringbuffer_write(input->ring, reinterpret_cast<const char*>(event.buffer),
                                  event.size);
        } else if (event.buffer[0] == 0xF0 || event.buffer[0] < 0x80) {
            // A SysEx message or its continuation; other messages are not counted as SysEx.
            input->droppedBytes.fetch_add(event.size, std::memory_order_relaxed);
        } else {
            continue;
        }
        wrote = true;
    }
    if (wrote) {
        sem_post(&input->filled);
    }
    return 0;
}

// As the delivery thread it feeds: the lowest real-time priority where the system allows.
void forwardBytes(JackInput* input) {
    takeLowestRealtimePriority();
    std::vector<char> bytes(input->ringBytes);
    for (;;) {
        while (sem_wait(&input->filled) != 0 && errno == EINTR) {
        }
        const bool last = input->stopping.load(std::memory_order_acquire);
        size_t got = 0;
        {
            JackRingAccess copy;
            got = jack_ringbuffer_read(input->ring, bytes.data(), bytes.size());
        }
        if (got > 0) {
            input->forward(input->context, reinterpret_cast<const BYTE*>(bytes.data()), got);
        }
        // Reported after what came before the drop; a drop after this read waits for its post.
        const size_t dropped = input->droppedBytes.exchange(0, std::memory_order_relaxed);
        if (dropped > 0) {
            input->lost(input->context, dropped);
        }
        if (last) {
            return;
        }
    }
}

void release(JackInput* input) {
    if (input->client != nullptr) {
        jack_client_close(input->client);  // the process callback has stopped on return
    }
    if (input->forwarder.joinable()) {
        input->stopping.store(true, std::memory_order_release);
        sem_post(&input->filled);
        input->forwarder.join();
    }
    if (input->semaphoreMade) {
        sem_destroy(&input->filled);
    }
    if (input->ring != nullptr) {
        JackRingAccess freeing;
        jack_ringbuffer_free(input->ring);
    }
    delete input;
}

}  // namespace

JackInput* openJackInput(const char* clientName, const std::string& source,
                         JackBytesForward forward, JackBytesLost lost, void* context,
                         size_t ringBytes) {
    JackInput* input = new JackInput;
    input->forward = forward;
    input->lost = lost;
    input->context = context;
    input->ringBytes = ringBytes;
    input->ring = jack_ringbuffer_create(ringBytes);
    input->semaphoreMade = sem_init(&input->filled, 0, 0) == 0;
    input->client = jack_client_open(clientName, JackNoStartServer, nullptr);
    if (input->ring == nullptr || !input->semaphoreMade || input->client == nullptr) {
        release(input);
        return nullptr;
    }
    jack_ringbuffer_mlock(input->ring);
    input->port =
        jack_port_register(input->client, "in", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
    try {
        input->forwarder = std::thread(forwardBytes, input);
    } catch (const std::system_error&) {
        release(input);
        return nullptr;
    }
    if (input->port == nullptr ||
        jack_set_process_callback(input->client, takeEvents, input) != 0 ||
        jack_activate(input->client) != 0 ||
        jack_connect(input->client, source.c_str(), jack_port_name(input->port)) != 0) {
        release(input);
        return nullptr;
    }
    return input;
}

void closeJackInput(JackInput* input) {
    release(input);
}

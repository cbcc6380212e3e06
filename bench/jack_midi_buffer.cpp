// What JACK's MIDI port buffers carry per process period on the running server: the buffer
// size in bytes, the period in frames and the sample rate.
#include <jack/jack.h>

#include <cstdio>

int main() {
    jack_status_t status{};
    jack_client_t* client = jack_client_open("midiparley-bench-probe", JackNoStartServer, &status);
    if (client == nullptr) {
        std::fprintf(stderr, "no JACK server\n");
        return 1;
    }
    const size_t bytes = jack_port_type_get_buffer_size(client, JACK_DEFAULT_MIDI_TYPE);
    const jack_nframes_t frames = jack_get_buffer_size(client);
    const jack_nframes_t rate = jack_get_sample_rate(client);
    std::printf(
        "JACK MIDI buffer: %zu bytes per period of %u frames at %u Hz (%.2f ms): %.0f "
        "bytes/s\n",
        bytes, frames, rate, 1000.0 * frames / rate, static_cast<double>(bytes) * rate / frames);
    jack_client_close(client);
    return 0;
}

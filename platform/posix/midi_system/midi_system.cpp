#include "platform/posix/midi_system/midi_system.h"

#include <alsa/asoundlib.h>

#include <errno.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <thread>

#include "platform/posix/midi_system/midi_system_module.h"

namespace {

void quietJack(const char*) {}
void quietAlsa(const char*, int, const char*, int, const char*, ...) {}

}  // namespace

bool alsaSequencerOpens(std::string& reason) {
    if (!alsaSequencerDeviceExists()) {
        return false;
    }
    if (access(kAlsaSequencerDevice, R_OK | W_OK) != 0) {
        reason = std::strerror(errno);
        return false;
    }
    snd_lib_error_set_handler(quietAlsa);
    snd_seq_t* sequencer = nullptr;
    if (int error = snd_seq_open(&sequencer, "default", SND_SEQ_OPEN_DUPLEX, SND_SEQ_NONBLOCK)) {
        reason = snd_strerror(error);
        return false;
    }
    snd_seq_close(sequencer);
    return true;
}

void waitJackCycles(jack_client_t* client, unsigned cycles) {
    // A loaded machine can hold up a client's cycles for over a second (seen with the tool
    // under ThreadSanitizer); giving up sooner let the tool close its output before the
    // message had gone out, and it never arrived.
    constexpr std::chrono::milliseconds kBound{1500};
    jack_nframes_t frames = jack_get_buffer_size(client) * cycles;
    jack_nframes_t start = jack_last_frame_time(client);
    auto giveUp = std::chrono::steady_clock::now() + kBound;
    while (jack_last_frame_time(client) - start < frames &&
           std::chrono::steady_clock::now() < giveUp) {
        std::this_thread::sleep_for(std::chrono::microseconds(500));
    }
}

jack_client_t* openJackProbe(const char* name) {
    jack_set_error_function(quietJack);
    jack_set_info_function(quietJack);
    return jack_client_open(name, JackNoStartServer, nullptr);
}

#include "platform/posix/midi_system.h"

#include <alsa/asoundlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

namespace {

void quietJack(const char*) {}
void quietAlsa(const char*, int, const char*, int, const char*, ...) {}

}  // namespace

bool alsaSequencerOpens() {
    if (access("/dev/snd/seq", R_OK | W_OK) != 0) {
        return false;
    }
    snd_lib_error_set_handler(quietAlsa);
    snd_seq_t* sequencer = nullptr;
    if (snd_seq_open(&sequencer, "default", SND_SEQ_OPEN_DUPLEX, SND_SEQ_NONBLOCK) != 0) {
        return false;
    }
    snd_seq_close(sequencer);
    return true;
}

bool jackServerSocketExists() {
    if (std::getenv("JACK_PROMISCUOUS_SERVER") != nullptr) {
        return true;  // socket names then follow another user's id: ask the server itself
    }
    const char* server = std::getenv("JACK_DEFAULT_SERVER");
    std::string name = "jack_" + std::string(server && *server ? server : "default") + "_" +
                       std::to_string(getuid()) + "_0";
    for (const char* directory : {"/dev/shm/", "/tmp/"}) {
        struct stat info {};
        if (stat((directory + name).c_str(), &info) == 0 && S_ISSOCK(info.st_mode)) {
            return true;
        }
    }
    return false;
}

void waitJackCycles(jack_client_t* client, unsigned cycles) {
    jack_nframes_t frames = jack_get_buffer_size(client) * cycles;
    jack_nframes_t start = jack_last_frame_time(client);
    auto giveUp = std::chrono::steady_clock::now() + std::chrono::milliseconds(250);
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

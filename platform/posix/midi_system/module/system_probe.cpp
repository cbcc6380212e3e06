#include "platform/posix/midi_system/module/system_probe.h"

#include <alsa/asoundlib.h>

#include <errno.h>
#include <unistd.h>

#include <cstring>

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

jack_client_t* openJackProbe(const char* name) {
    jack_set_error_function(quietJack);
    jack_set_info_function(quietJack);
    return jack_client_open(name, JackNoStartServer, nullptr);
}

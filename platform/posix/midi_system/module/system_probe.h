// Inside the MIDI system module: opening the ALSA sequencer and a JACK client to look at the
// system. The libraries' own messages are silenced here: the program's
// streams carry only the program's texts.
#pragma once

#include <jack/jack.h>

#include <string>

// Whether the ALSA sequencer can be opened; when its device is there but it cannot, `reason`
// says why in the system's words.
bool alsaSequencerOpens(std::string& reason);
// A client without ports of the running server; never starts a server. Null without one.
jack_client_t* openJackProbe(const char* name);

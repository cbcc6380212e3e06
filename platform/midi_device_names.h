// The MIDI devices' names, whole. The capability records cut a name to 31 characters, which
// on Windows is all a name has, but ALSA and JACK names run longer and often differ only at
// their end (client and port numbers, port suffixes).
#pragma once

#include <string>
#include <vector>

#include "platform/windows_api.h"

#ifdef _WIN32
namespace midi_device_names_detail {

// The name in a capability record, which need not be terminated when it fills the field.
inline std::string capsName(const CHAR* name) {
    size_t length = 0;
    while (length < MAXPNAMELEN && name[length] != '\0') {
        ++length;
    }
    return std::string(name, length);
}

// The names of count devices by device number, from their capability records; a device whose
// record cannot be had has an empty name.
template <typename Caps>
std::vector<std::string> capsNames(UINT count, MMRESULT(WINAPI* getCaps)(UINT_PTR, Caps*, UINT)) {
    std::vector<std::string> names;
    for (UINT id = 0; id < count; ++id) {
        Caps caps{};
        const bool known = getCaps(id, &caps, sizeof caps) == MMSYSERR_NOERROR;
        names.push_back(known ? capsName(caps.szPname) : std::string());
    }
    return names;
}

}  // namespace midi_device_names_detail

// The names of the MIDI input devices, by device number.
inline std::vector<std::string> midiInDeviceNames() {
    return midi_device_names_detail::capsNames(midiInGetNumDevs(), midiInGetDevCapsA);
}

// The names of the MIDI output devices, by device number.
inline std::vector<std::string> midiOutDeviceNames() {
    return midi_device_names_detail::capsNames(midiOutGetNumDevs(), midiOutGetDevCapsA);
}
#else
// The names of the MIDI input devices, by device number: the MIDI system's ports as it names
// them, then the virtual instrument.
std::vector<std::string> midiInDeviceNames();
// The same for the output devices.
std::vector<std::string> midiOutDeviceNames();
#endif

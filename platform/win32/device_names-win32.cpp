// The devices' names from their capability records.
#include "platform/device_names.h"

#include "platform/windows_api.h"

namespace {

// The name in a capability record, which need not be terminated when it fills the field.
std::string capsName(const CHAR* name) {
    size_t length = 0;
    while (length < MAXPNAMELEN && name[length] != '\0') {
        ++length;
    }
    return std::string(name, length);
}

// The names of count devices by device number; a device whose record cannot be had has an
// empty name.
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

}  // namespace

std::vector<std::string> inputDeviceNames() {
    return capsNames(midiInGetNumDevs(), midiInGetDevCapsA);
}

std::vector<std::string> outputDeviceNames() {
    return capsNames(midiOutGetNumDevs(), midiOutGetDevCapsA);
}

bool deviceNamesAreUtf8() {
    return GetACP() == CP_UTF8;
}

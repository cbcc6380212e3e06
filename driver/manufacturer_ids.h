// The MIDI manufacturers' SysEx IDs and their names. The table is generated at build time
// from driver/manufacturer_ids.txt, which names the list's source and date.
#pragma once

#include <cstddef>
#include <string>

struct ManufacturerId {
    const char* id;    // the ID's bytes as the listing writes them: "41", "00 20 29"
    const char* name;  // "Roland Corporation"
};

extern const ManufacturerId kManufacturerIds[];
extern const size_t kManufacturerIdCount;

// The name listed for the ID written as idText ("41", "00 20 29"), or nullptr when the list
// lacks it.
const char* manufacturerName(const std::string& idText);

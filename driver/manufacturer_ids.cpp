#include "driver/manufacturer_ids.h"

// The entries are generated in the build directory; the table is defined here, in the source
// tree, since sanitizer builds record the file that defines a global, and the program names
// no build directory.
const ManufacturerId kManufacturerIds[] = {
#include "manufacturer_id_table.inc"
};
const size_t kManufacturerIdCount = sizeof kManufacturerIds / sizeof kManufacturerIds[0];

const char* manufacturerName(const std::string& idText) {
    // A few hundred short names, looked up once per identity reply: a plain search will do.
    for (size_t i = 0; i < kManufacturerIdCount; ++i) {
        if (idText == kManufacturerIds[i].id) {
            return kManufacturerIds[i].name;
        }
    }
    return nullptr;
}

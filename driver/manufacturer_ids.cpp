#include "driver/manufacturer_ids.h"

const char* manufacturerName(const std::string& idText) {
    // A few hundred short names, looked up once per identity reply: a plain search will do.
    for (size_t i = 0; i < kManufacturerIdCount; ++i) {
        if (idText == kManufacturerIds[i].id) {
            return kManufacturerIds[i].name;
        }
    }
    return nullptr;
}

// The open devices of one kind, found by the handle the program holds. Handles are numbers
// handed out in order, never addresses, so a stale or foreign handle is simply not found.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>

template <typename Device>
struct HandleRegistry {
    std::mutex mutex;  // guards devices and nextId
    std::map<uintptr_t, std::shared_ptr<Device>> devices;
    uintptr_t nextId = 0x100;

    // The device behind handle, or none.
    std::shared_ptr<Device> find(const void* handle) {
        std::lock_guard<std::mutex> lock(mutex);
        auto it = devices.find(reinterpret_cast<uintptr_t>(handle));
        return it == devices.end() ? nullptr : it->second;
    }
};

// The process's registry for Device. Never destroyed: the program may close a device from an
// exit handler, after the static objects are gone.
template <typename Device>
HandleRegistry<Device>& handleRegistry() {
    static HandleRegistry<Device>* instance = new HandleRegistry<Device>;
    return *instance;
}

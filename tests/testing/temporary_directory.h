// A directory of a test's own, removed with everything in it when the object goes. Its name is
// fresh and created only if new: test processes run side by side, and with address
// randomisation off (as under the thread sanitizer) anything derived from an address is the
// same in each.
#pragma once

#include <filesystem>
#include <random>
#include <string>

struct TemporaryDirectory {
    std::filesystem::path path;

    // Under the system's temporary directory, named after stem (which may hold blanks).
    explicit TemporaryDirectory(const std::string& stem = "midiparley-test") {
        std::random_device random;
        do {
            path = std::filesystem::temp_directory_path() /
                   (stem + "-" + std::to_string(random()) + std::to_string(random()));
        } while (!std::filesystem::create_directory(path));
    }
    ~TemporaryDirectory() {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
    TemporaryDirectory(const TemporaryDirectory&) = delete;
    TemporaryDirectory& operator=(const TemporaryDirectory&) = delete;

    // The path of name in the directory.
    std::string file(const std::string& name) const { return (path / name).string(); }
};

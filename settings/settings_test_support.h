// A settings file for tests, in a directory of its own.
#pragma once

#include <filesystem>
#include <fstream>
#include <random>
#include <string>

// A settings file in a fresh directory, removed with the object.
struct TemporarySettingsFile {
    std::filesystem::path directory;
    std::filesystem::path path;

    explicit TemporarySettingsFile(const std::string& contents) {
        // A random name, created only if new: test processes run side by side, and with
        // address randomisation off (as under the thread sanitizer) anything derived from an
        // address is the same in each.
        std::random_device random;
        do {
            directory = std::filesystem::temp_directory_path() /
                        ("midiparley-test-" + std::to_string(random()) + std::to_string(random()));
        } while (!std::filesystem::create_directory(directory));
        path = directory / "midiparley.ini";
        std::ofstream(path, std::ios::binary) << contents;
    }
    ~TemporarySettingsFile() {
        std::error_code ignored;
        std::filesystem::remove_all(directory, ignored);
    }
};

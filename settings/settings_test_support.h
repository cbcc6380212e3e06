// A settings file for tests, in a directory of its own.
#pragma once

#include <filesystem>
#include <fstream>
#include <string>

#include "tests/testing/temporary_directory.h"

// A settings file in a fresh directory, removed with the object.
struct TemporarySettingsFile {
    TemporaryDirectory temporary;
    std::filesystem::path directory = temporary.path;
    std::filesystem::path path = directory / "midiparley.ini";

    explicit TemporarySettingsFile(const std::string& contents) {
        std::ofstream(path, std::ios::binary) << contents;
    }
};

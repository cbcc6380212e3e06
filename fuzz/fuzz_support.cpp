#include "fuzz/fuzz_support.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

void fuzzCheckFailed(const char* condition, const char* file, int line) {
    std::fprintf(stderr, "%s:%d: invariant failed: %s\n", file, line, condition);
    std::abort();
}

const ProgramOption* programOption(const std::string& name) {
    for (int32_t i = 0; i < kProgramOptionCount; ++i) {
        if (name == kProgramOptions[i].name) {
            return &kProgramOptions[i];
        }
    }
    return nullptr;
}

bool isOptionOfType(const std::string& name, OptionType type) {
    const ProgramOption* option = programOption(name);
    return option != nullptr && option->type == type;
}

bool isNumericOption(const std::string& name) {
    return isOptionOfType(name, OptionType::Number) || isOptionOfType(name, OptionType::Decimal);
}

void checkStoredValues(const OptionTable& table) {
    for (const auto& entry : table.values) {
        const ProgramOption* option = programOption(entry.first);
        FUZZ_CHECK(option != nullptr);
        if (!isNumericOption(entry.first) || table.getInt(entry.first, -1) >= 0) {
            continue;
        }
        FUZZ_CHECK(option->device);
        const auto named = [&](const NameValue& name) {
            return name.option == entry.first && name.value == entry.second;
        };
        FUZZ_CHECK(std::any_of(table.nameValues.begin(), table.nameValues.end(), named));
    }
}

std::vector<std::string> splitBytes(const uint8_t* data, size_t size, char separator) {
    std::vector<std::string> pieces(1);
    for (size_t i = 0; i < size; ++i) {
        const char c = static_cast<char>(data[i]);
        if (c == separator) {
            pieces.emplace_back();
        } else {
            pieces.back().push_back(c);
        }
    }
    return pieces;
}

namespace {

struct ScratchDirectory {
    std::string directory;
    std::string file;
    ScratchDirectory() {
        const char* base = std::getenv("TMPDIR");
        std::string pattern = std::string(base != nullptr && *base != '\0' ? base : "/tmp") +
                              "/midiparley-fuzz-XXXXXX";
        if (mkdtemp(&pattern[0]) == nullptr) {
            std::perror("mkdtemp");
            std::abort();
        }
        directory = pattern;
        file = directory + "/midiparley.ini";
    }
    ~ScratchDirectory() {
        unlink(file.c_str());
        rmdir(directory.c_str());
    }
};

ScratchDirectory& scratch() {
    static ScratchDirectory instance;
    return instance;
}

}  // namespace

const std::string& writeScratchSettings(const std::string& contents) {
    // Two inputs of the same size written within one tick of the file system clock would
    // otherwise look unchanged to a cache that compares size, inode and time.
    static time_t generation = 1000000000;
    const std::string& path = scratch().file;
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    FUZZ_CHECK(fd >= 0);
    size_t written = 0;
    while (written < contents.size()) {
        const ssize_t n = write(fd, contents.data() + written, contents.size() - written);
        FUZZ_CHECK(n > 0);
        written += static_cast<size_t>(n);
    }
    ++generation;
    const timespec times[2] = {{generation, 0}, {generation, 0}};
    FUZZ_CHECK(futimens(fd, times) == 0);
    close(fd);
    return path;
}

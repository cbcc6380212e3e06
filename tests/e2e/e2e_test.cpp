// Runs the built executable as a user would and checks standard output, standard error and
// the exit status exactly. MIDIPARLEY_EXE names another executable to test (the Windows build),
// MIDIPARLEY_LAUNCHER a program to start it with (wine), and MIDIPARLEY_NO_MIDI=1 skips the
// cases that need the virtual instrument (and runs those that need no MIDI devices at all).
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "tests/e2e/e2e_cases.h"
#include "tests/e2e/run_process.h"
#include "tests/testing/temporary_directory.h"

namespace fs = std::filesystem;

namespace {

std::string environment(const char* name, const std::string& fallback) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0' ? value : fallback;
}

// Windows writes its text streams with CRLF line ends.
std::string withUnixLineEnds(std::string text) {
    std::string result;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            continue;
        }
        result += text[i];
    }
    return result;
}

// A fresh directory holding a copy of the executable (and its module), removed afterwards.
struct Sandbox {
    TemporaryDirectory temporary{"midiparley-e2e"};
    const fs::path& directory = temporary.path;
    fs::path executable;

    explicit Sandbox(const fs::path& original) {
        executable = directory / original.filename();
        fs::copy_file(original, executable);
        // The MIDI system's module goes with the program, as a user copying it is told.
        const fs::path module = original.parent_path() / "midiparley-midi.so";
        if (fs::exists(module)) {
            fs::create_symlink(fs::absolute(module), directory / module.filename());
        }
    }
};

}  // namespace

// Names the case in test output instead of dumping its bytes.
void PrintTo(const E2eCase& c, std::ostream* os) {
    *os << c.name;
}

namespace {

class EndToEnd : public ::testing::TestWithParam<E2eCase> {};

TEST_P(EndToEnd, OutputsAndStatus) {
    const E2eCase& c = GetParam();
    const std::string launcher = environment("MIDIPARLEY_LAUNCHER", "");
    if (c.needsMidi && environment("MIDIPARLEY_NO_MIDI", "0") == "1") {
        GTEST_SKIP() << "needs the virtual instrument as MIDI devices 0";
    }
    if (c.needsNoMidi && environment("MIDIPARLEY_NO_MIDI", "0") != "1") {
        GTEST_SKIP() << "needs a system without MIDI devices";
    }
    Sandbox sandbox(environment("MIDIPARLEY_EXE", MIDIPARLEY_DEFAULT_EXE));
    if (c.withSettings) {
        std::ofstream(sandbox.directory / "midiparley.ini", std::ios::binary) << c.settings;
    }
    std::vector<std::string> argv;
    if (!launcher.empty()) {
        argv.push_back(launcher);
    }
    argv.push_back(sandbox.executable.string());
    argv.insert(argv.end(), c.args.begin(), c.args.end());

    // Run from another directory: the settings file is found beside the executable.
    const ProcessResult result = runProcess(argv, c.input, "/", 60);
    ASSERT_FALSE(result.timedOut);
    const std::string out = launcher.empty() ? result.out : withUnixLineEnds(result.out);
    const std::string err = launcher.empty() ? result.err : withUnixLineEnds(result.err);
    EXPECT_EQ(out, c.out);
    EXPECT_EQ(err, c.err);
    EXPECT_EQ(result.status, c.status);
}

INSTANTIATE_TEST_SUITE_P(Cases, EndToEnd, ::testing::ValuesIn(e2eCases()),
                         [](const ::testing::TestParamInfo<E2eCase>& info) {
                             return info.param.name;
                         });

}  // namespace

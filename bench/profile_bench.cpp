// The settings reading pattern: three option keys and a thousand numbered keys, one profile
// read each, on a small settings file, on one reached through a symbolic link and on a file
// that does not exist. Argument 1: the reads in a row, as the settings reading makes them
// (beginProfileReads); 0: each read on its own.
#include <stdlib.h>
#include <unistd.h>

#include <fstream>
#include <string>
#include <vector>

#include "benchmark/benchmark.h"
#include "platform/windows_api.h"

namespace {

const char kMarker[] = "\x01\x02\x03\x04";

std::vector<std::string> settingsKeys() {
    std::vector<std::string> keys = {"midiout", "midiin", "timeout"};
    for (int n = 1; n <= 1000; ++n) {
        keys.push_back("hexsysex" + std::to_string(n));
    }
    return keys;
}

void readAllKeys(benchmark::State& state, const std::string& path) {
    const std::vector<std::string> keys = settingsKeys();
    std::vector<char> buffer(1024);
    size_t found = 0;
    const bool inARow = state.range(0) != 0;
    for (auto _ : state) {
        if (inARow) {
            beginProfileReads();
        }
        for (const std::string& key : keys) {
            DWORD n = GetPrivateProfileStringA("Settings", key.c_str(), kMarker, buffer.data(),
                                               static_cast<DWORD>(buffer.size()), path.c_str());
            found += n;
            benchmark::DoNotOptimize(buffer.data());
        }
        if (inARow) {
            endProfileReads();
        }
    }
    benchmark::DoNotOptimize(found);
    state.counters["reads"] = benchmark::Counter(static_cast<double>(keys.size()));
}

// A directory made for one benchmark and removed with what it holds.
struct ScratchDirectory {
    std::string path;
    ScratchDirectory() {
        char pattern[] = "/tmp/profile_bench.XXXXXX";
        path = mkdtemp(pattern) != nullptr ? pattern : "";
    }
    ~ScratchDirectory() {
        unlink((path + "/midiparley.ini").c_str());
        rmdir(path.c_str());
    }
};

void writeSettings(const std::string& path) {
    std::ofstream(path) << "[Settings]\nmidiout=1\nmidiin=2\ntimeout=10\n"
                           "hexsysex1=F0\nhexsysex2=7E\nhexsysex3=7F\nhexsysex4=06\n"
                           "hexsysex5=01\nhexsysex6=F7\n";
}

void BM_SettingsFile(benchmark::State& state) {
    ScratchDirectory dir;
    std::string path = dir.path + "/midiparley.ini";
    writeSettings(path);
    readAllKeys(state, path);
}
BENCHMARK(BM_SettingsFile)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

// The settings file kept elsewhere and linked beside the program, as dotfile managers do.
void BM_LinkedSettingsFile(benchmark::State& state) {
    ScratchDirectory dir;
    const std::string target = dir.path + "/kept.ini";
    const std::string link = dir.path + "/midiparley.ini";
    writeSettings(target);
    if (symlink("kept.ini", link.c_str()) != 0) {
        state.SkipWithError("symlink failed");
        return;
    }
    readAllKeys(state, link);
    unlink(target.c_str());
}
BENCHMARK(BM_LinkedSettingsFile)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

// The usual case when there is no settings file: its directory exists.
void BM_MissingFile(benchmark::State& state) {
    ScratchDirectory dir;
    readAllKeys(state, dir.path + "/midiparley.ini");
}
BENCHMARK(BM_MissingFile)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

// The directory is missing as well; the nearest existing one is held instead.
void BM_MissingDirectory(benchmark::State& state) {
    readAllKeys(state, "/tmp/profile_bench-no-such-dir/midiparley.ini");
}
BENCHMARK(BM_MissingDirectory)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

}  // namespace

// The settings reading pattern: three option keys and a thousand numbered keys, one profile
// read each, on a small settings file and on a file that does not exist.
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
    for (auto _ : state) {
        for (const std::string& key : keys) {
            DWORD n = GetPrivateProfileStringA("Settings", key.c_str(), kMarker, buffer.data(),
                                               static_cast<DWORD>(buffer.size()), path.c_str());
            found += n;
            benchmark::DoNotOptimize(buffer.data());
        }
    }
    benchmark::DoNotOptimize(found);
    state.counters["reads"] = benchmark::Counter(static_cast<double>(keys.size()));
}

std::string temporaryDirectory() {
    char pattern[] = "/tmp/profile_bench.XXXXXX";
    return mkdtemp(pattern) != nullptr ? pattern : "/tmp";
}

void BM_SettingsFile(benchmark::State& state) {
    std::string path = temporaryDirectory() + "/midiparley.ini";
    std::ofstream(path) << "[Settings]\nmidiout=1\nmidiin=2\ntimeout=10\n"
                           "hexsysex1=F0\nhexsysex2=7E\nhexsysex3=7F\nhexsysex4=06\n"
                           "hexsysex5=01\nhexsysex6=F7\n";
    readAllKeys(state, path);
    unlink(path.c_str());
    rmdir(path.substr(0, path.rfind('/')).c_str());
}
BENCHMARK(BM_SettingsFile)->Unit(benchmark::kMicrosecond);

void BM_MissingFile(benchmark::State& state) {
    readAllKeys(state, "/tmp/profile_bench-no-such-dir/midiparley.ini");
}
BENCHMARK(BM_MissingFile)->Unit(benchmark::kMicrosecond);

}  // namespace

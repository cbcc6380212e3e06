// A large settings file read once, as the program reads it at start: the time of the first
// profile read (which loads and parses the whole file) and the process's peak memory beside
// the file's size. Each run is a fresh process, so the peak is that run's own.
// Two shapes of about the same size: 5,000,000 short lines and 5 long ones.
// Usage: large_settings_bench [RUNS]
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/windows_api.h"

namespace {

struct Run {
    double ms = 0;
    long peakKb = 0;
};

// A figure of this process's memory from /proc/self/status, in kB (its peak: "VmHWM:"). The
// peak of getrusage would carry the parent's over exec.
long statusKb(const char* name) {
    FILE* status = std::fopen("/proc/self/status", "r");
    char line[256];
    long kb = 0;
    while (status != nullptr && std::fgets(line, sizeof line, status) != nullptr) {
        if (std::strncmp(line, name, std::strlen(name)) == 0) {
            kb = std::atol(line + std::strlen(name));
        }
    }
    if (status != nullptr) {
        std::fclose(status);
    }
    return kb;
}

// The child's side: one read, then its time and peak resident size on `resultFd`. It runs as
// a fresh program (exec), so its peak holds nothing of the parent's.
int readAndReport(const char* path, int resultFd) {
    char value[1024];
    const long before = statusKb("VmHWM:");
    const auto start = std::chrono::steady_clock::now();
    GetPrivateProfileStringA("Settings", "hexsysex1", "", value, sizeof value, path);
    Run run;
    run.ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    run.peakKb = statusKb("VmHWM:") - before;
    return write(resultFd, &run, sizeof run) == sizeof run ? 0 : 1;
}

Run readOnce(const std::string& path) {
    int result[2];
    if (pipe(result) != 0) {
        std::exit(1);
    }
    const pid_t pid = fork();
    if (pid == 0) {
        const std::string fd = std::to_string(result[1]);
        execl("/proc/self/exe", "large_settings_bench", "--read", path.c_str(), fd.c_str(),
              static_cast<char*>(nullptr));
        _exit(127);
    }
    close(result[1]);
    Run run;
    const bool got = read(result[0], &run, sizeof run) == sizeof run;
    close(result[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    if (!got || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "the reading child failed\n");
        std::exit(1);
    }
    return run;
}

void measure(const char* title, const std::string& path, size_t fileBytes, int runs) {
    std::vector<Run> results;
    for (int i = 0; i < runs; ++i) {
        results.push_back(readOnce(path));
    }
    std::sort(results.begin(), results.end(),
              [](const Run& a, const Run& b) { return a.ms < b.ms; });
    long peak = 0;
    for (const Run& run : results) {
        peak = std::max(peak, run.peakKb);
    }
    const double fileMb = static_cast<double>(fileBytes) / 1e6;
    std::printf("%-22s %7.1f MB: median %8.1f ms, peak memory +%6.1f MB (%.2f x the file)\n", title,
                fileMb, results[results.size() / 2].ms, peak / 1e3,
                peak * 1e3 / static_cast<double>(fileBytes));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::string(argv[1]) == "--read") {
        return readAndReport(argv[2], std::atoi(argv[3]));
    }
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    char pattern[] = "/tmp/large_settings_bench.XXXXXX";
    if (mkdtemp(pattern) == nullptr) {
        return 1;
    }
    const std::string path = std::string(pattern) + "/midiparley.ini";

    // 13-byte lines of distinct keys: "k00000000=7F".
    std::string text = "[Settings]\n";
    text.reserve(66000000);
    char line[32];
    for (int i = 0; i < 5000000; ++i) {
        std::snprintf(line, sizeof line, "k%08d=7F\n", i);
        text += line;
    }
    FILE* file = std::fopen(path.c_str(), "wb");
    std::fwrite(text.data(), 1, text.size(), file);
    std::fclose(file);
    measure("5,000,000 short lines", path, text.size(), runs);

    text = "[Settings]\n";
    for (int i = 0; i < 5; ++i) {
        text += "long" + std::to_string(i) + "=" + std::string(10000000, 'v') + "\n";
    }
    file = std::fopen(path.c_str(), "wb");
    std::fwrite(text.data(), 1, text.size(), file);
    std::fclose(file);
    measure("5 long lines", path, text.size(), runs);

    unlink(path.c_str());
    rmdir(pattern);
    return 0;
}

// Whole-process timing: runs each command line in turn, side by side, many times, with
// standard input from a file and both output streams discarded, and prints the median and
// the 90th percentile wall time of each in milliseconds.
// Usage: process_timing RUNS INPUT_FILE -- COMMAND... [-- COMMAND...]
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

double runOnce(const std::vector<char*>& argv, const char* inputFile) {
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        const int in = open(inputFile, O_RDONLY);
        const int null = open("/dev/null", O_WRONLY);
        dup2(in, 0);
        dup2(null, 1);
        dup2(null, 2);
        execv(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    const auto end = std::chrono::steady_clock::now();
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "%s failed\n", argv[0]);
        std::exit(1);
    }
    return std::chrono::duration<double, std::milli>(end - start).count();
}

double percentile(std::vector<double> values, double p) {
    std::sort(values.begin(), values.end());
    return values[static_cast<size_t>(p * static_cast<double>(values.size() - 1))];
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 5) {
        std::fprintf(stderr, "usage: %s RUNS INPUT_FILE -- COMMAND... [-- COMMAND...]\n", argv[0]);
        return 2;
    }
    const int runs = std::atoi(argv[1]);
    const char* input = argv[2];
    std::vector<std::vector<char*>> commands;
    for (int i = 3; i < argc; ++i) {
        if (std::string(argv[i]) == "--") {
            commands.emplace_back();
        } else if (!commands.empty()) {
            commands.back().push_back(argv[i]);
        }
    }
    for (auto& command : commands) {
        command.push_back(nullptr);
    }
    std::vector<std::vector<double>> times(commands.size());
    for (int r = 0; r < runs + 5; ++r) {  // the first five runs warm the caches
        for (size_t c = 0; c < commands.size(); ++c) {
            const double ms = runOnce(commands[c], input);
            if (r >= 5) {
                times[c].push_back(ms);
            }
        }
    }
    for (size_t c = 0; c < commands.size(); ++c) {
        std::printf("%-40s median %.3f ms  p90 %.3f ms  (%d runs)\n", commands[c][0],
                    percentile(times[c], 0.5), percentile(times[c], 0.9), runs);
    }
    return 0;
}

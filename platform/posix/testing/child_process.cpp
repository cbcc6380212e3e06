#include "platform/posix/testing/child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <thread>

namespace {

constexpr int kStopBoundMs = 2000;

}  // namespace

std::string findProgram(const char* name) {
    const char* path = std::getenv("PATH");
    std::string directories = path ? path : "/usr/bin:/bin";
    size_t start = 0;
    while (start <= directories.size()) {
        size_t end = directories.find(':', start);
        if (end == std::string::npos) {
            end = directories.size();
        }
        std::string candidate = directories.substr(start, end - start) + "/" + name;
        struct stat info {};
        if (end > start && stat(candidate.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
            access(candidate.c_str(), X_OK) == 0) {
            return candidate;
        }
        start = end + 1;
    }
    return std::string();
}

// Forks and runs the program. The child ends with this process (SIGTERM when it dies); its
// standard output and error go to a pipe read through `output`, else to `file` if one is
// given, else nowhere; its standard input is a pipe kept in child.input when `keepInput`.
bool spawnChild(const std::vector<std::string>& args, bool keepInput, int* output,
                ChildProcess& child, int file) {
    int in[2] = {-1, -1};
    int out[2] = {-1, -1};
    auto closePipes = [&] {
        for (int fd : {in[0], in[1], out[0], out[1]}) {
            if (fd >= 0) {
                close(fd);
            }
        }
    };
    if ((keepInput && pipe2(in, O_CLOEXEC) != 0) || (output && pipe2(out, O_CLOEXEC) != 0)) {
        closePipes();
        return false;
    }
    std::vector<char*> argv;
    for (const std::string& arg : args) {
        argv.push_back(const_cast<char*>(arg.c_str()));
    }
    argv.push_back(nullptr);
    pid_t parent = getpid();
    pid_t pid = fork();
    if (pid == 0) {
        // Only async-signal-safe calls until exec.
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (getppid() != parent) {
            _exit(127);
        }
        int null = open("/dev/null", O_RDWR);
        const int sink = output ? out[1] : file >= 0 ? file : null;
        dup2(keepInput ? in[0] : null, 0);
        dup2(sink, 1);
        dup2(sink, 2);
        execv(argv[0], argv.data());
        _exit(127);
    }
    if (pid < 0) {
        closePipes();
        return false;
    }
    if (keepInput) {
        close(in[0]);
        child.input = in[1];
    }
    if (output) {
        close(out[1]);
        *output = out[0];
    }
    child.pid = pid;
    return true;
}

// Waits up to `ms` for the child to end; reaps it and gives its status when it has.
bool waitChildExit(pid_t pid, int ms, int* status) {
    int pidfd = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
    if (pidfd >= 0) {
        pollfd ready{pidfd, POLLIN, 0};
        poll(&ready, 1, ms);
        close(pidfd);
        return waitpid(pid, status, WNOHANG) == pid;
    }
    // Kernels without pidfd: look again every few milliseconds.
    auto giveUp = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    do {
        if (waitpid(pid, status, WNOHANG) == pid) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    } while (std::chrono::steady_clock::now() < giveUp);
    return false;
}

bool awaitChildLine(ChildProcess& child, const std::string& line, int ms, std::string* said) {
    auto giveUp = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    std::string current;
    while (current != line) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            giveUp - std::chrono::steady_clock::now());
        pollfd readable{child.output, POLLIN, 0};
        char byte = 0;
        // One byte at a time: what follows the line is left in the pipe for the next wait.
        if (child.output < 0 || left.count() <= 0 ||
            poll(&readable, 1, static_cast<int>(left.count())) <= 0 ||
            read(child.output, &byte, 1) != 1) {
            return false;
        }
        if (!current.empty() && current.back() == '\n') {
            current.clear();
        }
        current += byte;
        if (said != nullptr) {
            *said += byte;
        }
    }
    return true;
}

void stopChild(ChildProcess& child) {
    if (child.output >= 0) {
        close(child.output);
        child.output = -1;
    }
    if (child.pid <= 0) {
        return;
    }
    int status = 0;
    if (child.input >= 0) {
        close(child.input);
        child.input = -1;
        if (waitChildExit(child.pid, kStopBoundMs, &status)) {
            child.pid = -1;
            return;
        }
    }
    kill(child.pid, SIGTERM);
    if (!waitChildExit(child.pid, kStopBoundMs, &status)) {
        kill(child.pid, SIGKILL);
        waitpid(child.pid, &status, 0);
    }
    child.pid = -1;
}

// Runs a program as a user would from a shell: arguments, bytes on standard input, and both
// output streams and the exit status collected.
#pragma once

#include <functional>
#include <string>
#include <vector>

struct ProcessResult {
    int status = -1;  // exit status, or -1 when the process did not exit normally
    bool timedOut = false;
    std::string out;
    std::string err;
};

// Runs argv[0] with argv in directory, feeds input on standard input and closes it. A
// process still running after timeoutSeconds is killed. inChild, if given, runs in the new
// process just before the program starts (to redirect a stream or set a limit).
ProcessResult runProcess(const std::vector<std::string>& argv, const std::string& input,
                         const std::string& directory, int timeoutSeconds,
                         const std::function<void()>& inChild = {});

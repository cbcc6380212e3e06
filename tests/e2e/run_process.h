// Runs a program as a user would from a shell: arguments, bytes on standard input, and both
// output streams and the exit status collected.
#pragma once

#include <string>
#include <vector>

struct ProcessResult {
    int status = -1;  // exit status, or -1 when the process did not exit normally
    bool timedOut = false;
    std::string out;
    std::string err;
};

// Runs argv[0] with argv in directory, feeds input on standard input and closes it. A
// process still running after timeoutSeconds is killed.
ProcessResult runProcess(const std::vector<std::string>& argv, const std::string& input,
                         const std::string& directory, int timeoutSeconds);

// For tests: programs started as child processes that end with the test process on every way
// out, their output read line by line.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

struct ChildProcess {
    pid_t pid = -1;
    int input = -1;   // the child's standard input, when the parent keeps it
    int output = -1;  // the child's standard output, when the parent reads it
};

// The full path of a program found on PATH; empty when there is none.
std::string findProgram(const char* name);

// Forks and runs the program. The child ends with this process (SIGTERM when it dies); its
// standard output and error go to a pipe read through `output`, else to `file` if one is
// given, else nowhere; its standard input is a pipe kept in child.input when `keepInput`.
bool spawnChild(const std::vector<std::string>& args, bool keepInput, int* output,
                ChildProcess& child, int file = -1);

// Waits up to `ms` for the child to end; reaps it and gives its status when it has.
bool waitChildExit(pid_t pid, int ms, int* status);

// Waits up to `ms` for the child to write `line` (ending in a newline) on its output, reading
// no further than that line's end; everything read is appended to `said` when given.
bool awaitChildLine(ChildProcess& child, const std::string& line, int ms,
                    std::string* said = nullptr);

// Closes the child's input, then SIGTERM and at last SIGKILL, each after a bounded wait.
void stopChild(ChildProcess& child);

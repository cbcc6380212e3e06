// JACK's registry of servers, read for the tests' harness: JACK keeps eight slots for all the
// servers of the machine, and a server that ends without its clean stop (SIGKILL) keeps its
// slot until a server of the same name starts again.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

struct JackServerSlot {
    pid_t pid = 0;
    uid_t uid = 0;
    std::string name;  // the server's name
    bool running = false;
};

constexpr size_t kJackServerSlots = 8;
extern const char kJackRegistryPath[];

// The slots taken; none when there is no registry (no server since boot) or it is not laid out
// as JACK 1.9 lays it out.
std::vector<JackServerSlot> readJackRegistry(const std::string& path = kJackRegistryPath);

// The first of `names` that a server of this user can start under: free, or held by a process
// that has gone. Empty, with the reason and the remedy in `error`, when there is none.
std::string chooseJackServerName(const std::vector<JackServerSlot>& slots,
                                 const std::vector<std::string>& names, std::string& error);

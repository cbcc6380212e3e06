#include "platform/posix/testing/jack_server.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

#include "platform/posix/testing/jack_registry.h"

namespace {

constexpr int kStartBoundMs = 5000;
constexpr int kStopBoundMs = 2000;
constexpr int kServerStopBoundMs = 10000;

// JACK servers started side by side (parallel test runs) now and then refuse their clients
// (status JackServerError), so test processes take turns. The kernel drops the lock with the
// process, however it ends.
int serverTurn = -1;

// One server runs at a time (the turn above), under the first of a few fixed names that is
// free: a server that ended without its clean stop keeps its slot in JACK's registry of eight
// until a server of the same name starts, which the next run's does. The further names serve
// when a server of the first is still running (one stopped by a test whose process died).
const std::vector<std::string> kServerNames = {"midiparley-test-0", "midiparley-test-1",
                                               "midiparley-test-2", "midiparley-test-3"};
std::string serverName;

// What clients and the server leave in JACK's directory, for a server of that name.
void removeServerFiles(const std::string& name) {
    const std::string mark = "_" + name + "_";
    if (DIR* directory = opendir("/dev/shm")) {
        while (dirent* entry = readdir(directory)) {
            std::string file = entry->d_name;
            if (file.compare(0, 4, "jack") == 0 && file.find(mark) != std::string::npos) {
                unlink(("/dev/shm/" + file).c_str());
            }
        }
        closedir(directory);
    }
}

// The last lines of what jackd wrote to `file`.
std::string tailOf(int file) {
    char text[600];
    const off_t size = lseek(file, 0, SEEK_END);
    const off_t from = size > static_cast<off_t>(sizeof text) ? size - sizeof text : 0;
    const ssize_t got = pread(file, text, sizeof text, from);
    std::string said(text, got > 0 ? static_cast<size_t>(got) : 0);
    while (!said.empty() && said.back() == '\n') {
        said.pop_back();
    }
    return said;
}

// One lock file per user: one created by another user (root) may not be open to this one.
// flock needs no write access, so it is opened read-only.
bool takeServerTurn(std::string& error) {
    const std::string path = "/tmp/midiparley-jack-tests-" + std::to_string(getuid()) + ".lock";
    int fd = open(path.c_str(), O_CREAT | O_RDONLY | O_CLOEXEC, 0600);
    auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(240);
    while (fd >= 0 && flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (std::chrono::steady_clock::now() > giveUp) {
            close(fd);
            fd = -1;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));  // another test's server
    }
    if (fd < 0) {
        error = "no turn to start a JACK server (" + path + " busy or not readable)";
        return false;
    }
    serverTurn = fd;
    return true;
}

bool serverAnswers(const std::string& lsp) {
    ChildProcess probe;
    int status = 0;
    if (!spawnChild({lsp}, false, nullptr, probe)) {
        return false;
    }
    if (!waitChildExit(probe.pid, kStopBoundMs, &status)) {
        stopChild(probe);
        return false;
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace

namespace {

// Only its clean stop gives up a server's slot in JACK's registry; a loaded machine may be slow.
void endServer(ChildProcess& server) {
    int status = 0;
    if (server.pid > 0 && kill(server.pid, SIGTERM) == 0 &&
        waitChildExit(server.pid, kServerStopBoundMs, &status)) {
        server.pid = -1;
    }
    stopChild(server);
}

// Starts jackd as the server `name` (exported as JACK_DEFAULT_SERVER) and waits, bounded,
// until it answers.
bool runServer(const std::string& jackd, const std::string& lsp, const std::string& name,
               unsigned periodFrames, ChildProcess& server, std::string& error) {
    removeServerFiles(name);  // of its last server, if that one was killed
    setenv("JACK_DEFAULT_SERVER", name.c_str(), 1);
    setenv("JACK_NO_START_SERVER", "1", 1);  // no client may start a server of its own
    // What it says goes to a file without a name, read only when it ends at start.
    char path[] = "/tmp/midiparley-jackd-XXXXXX";
    const int said = mkostemp(path, O_CLOEXEC);
    if (said >= 0) {
        unlink(path);
    }
    // Synchronous mode: a client that the loaded machine runs late delays the cycle instead
    // of missing it, which would lose the MIDI events of that cycle. Its cost: every cycle
    // waits for the slowest client, up to 5 s for one that does not answer or died while
    // active, as a tool that gave up on the server leaves them (the case then starts again on
    // a fresh server, see jackDidNotAnswer). Tests learn of connections from the instrument
    // rather than open clients of their own beside the tool's.
    if (!spawnChild({jackd, "-r", "-S", "-p", "64", "-d", "dummy", "-r", "48000", "-p",
                     std::to_string(periodFrames)},
                    false, nullptr, server, said)) {
        close(said);
        error = "cannot start jackd";
        return false;
    }
    // jackd tells nobody when it is ready; ask it with jack_lsp until it answers.
    auto giveUp = std::chrono::steady_clock::now() + std::chrono::milliseconds(kStartBoundMs);
    bool answered = false;
    while (!answered && std::chrono::steady_clock::now() < giveUp) {
        int status = 0;
        if (waitpid(server.pid, &status, WNOHANG) == server.pid) {
            server.pid = -1;
            error = "jackd (server " + name + ") ended at start with status " +
                    std::to_string(status) + ": " + tailOf(said);
            break;
        }
        answered = serverAnswers(lsp);
        if (!answered) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }
    if (!answered && server.pid > 0) {
        error =
            "jackd did not answer within " + std::to_string(kStartBoundMs) + " ms: " + tailOf(said);
        endServer(server);
    }
    close(said);
    return answered;
}

// Gives back the slots of test servers that went without their clean stop, under any name
// these tests have used: a server started under such a name takes the slot over and frees
// it when it stops.
void reclaimSlotsOfGoneTestServers(const std::string& jackd, const std::string& lsp) {
    for (const JackServerSlot& slot : readJackRegistry()) {
        if (slot.uid == getuid() && !slot.running && slot.name.rfind("midiparley-test-", 0) == 0) {
            ChildProcess server;
            std::string ignored;
            runServer(jackd, lsp, slot.name, 256, server, ignored);
            endServer(server);
            removeServerFiles(slot.name);
        }
    }
}

}  // namespace

bool startJackServer(ChildProcess& server, std::string& error, unsigned periodFrames) {
    std::string jackd = findProgram("jackd");
    std::string lsp = findProgram("jack_lsp");
    if (jackd.empty() || lsp.empty()) {
        error = "jackd or jack_lsp is not installed";
        return false;
    }
    if (!takeServerTurn(error)) {
        return false;
    }
    reclaimSlotsOfGoneTestServers(jackd, lsp);
    serverName = chooseJackServerName(readJackRegistry(), kServerNames, error);
    return !serverName.empty() && runServer(jackd, lsp, serverName, periodFrames, server, error);
}

bool jackDidNotAnswer(const std::string& toolErrors) {
    if (toolErrors.find("midiparley: the JACK server did not answer within") == std::string::npos) {
        return false;
    }
    std::fprintf(stderr, "note: the tool said the JACK server did not answer (a loaded machine)\n");
    return true;
}

bool startInstrument(const char* path, const char* clientName, ChildProcess& instrument,
                     std::string& error) {
    if (!spawnChild({path, clientName}, true, &instrument.output, instrument)) {
        error = "cannot start the instrument";
        return false;
    }
    std::string said;
    if (!awaitChildLine(instrument, "ready\n", kStartBoundMs, &said)) {
        stopChild(instrument);
        error = "the instrument did not get ready: " + said;
        return false;
    }
    return true;
}

bool startJackWithInstrument(const char* instrumentPath, const char* clientName,
                             ChildProcess& server, ChildProcess& instrument, std::string& error,
                             unsigned periodFrames) {
    return startJackServer(server, error, periodFrames) &&
           startInstrument(instrumentPath, clientName, instrument, error);
}

bool withFreshJackServer(const char* instrumentPath, const char* clientName,
                         const std::function<bool()>& exchange, std::string& error) {
    for (int attempt = 0; attempt < kJackAttempts; ++attempt) {
        ChildProcess server, instrument;
        const bool started =
            startJackWithInstrument(instrumentPath, clientName, server, instrument, error);
        const bool slow = started && exchange();
        stopChild(instrument);
        stopJackServer(server);
        if (!started || !slow) {
            return started;
        }
    }
    return true;
}

void stopJackServer(ChildProcess& server) {
    endServer(server);
    if (!serverName.empty()) {
        removeServerFiles(serverName);
    }
    if (serverTurn >= 0) {
        close(serverTurn);  // releases the lock
        serverTurn = -1;
    }
}

// For tests: a JACK server with the dummy driver and the tests' own instrument on it, started
// as child processes that end with the test process on every way out.
#pragma once

#include <functional>
#include <string>

#include "platform/posix/testing/child_process.h"

// Starts jackd, one at a time on the machine, under the first free of a few fixed names
// (exported as JACK_DEFAULT_SERVER), with the dummy driver at 48 kHz and `periodFrames` a
// period, and waits, bounded, until it answers. On failure `error` says why (also when JACK's
// registry of servers is full, and how to free it).
bool startJackServer(ChildProcess& server, std::string& error, unsigned periodFrames = 256);

// Whether the tool said that the JACK server did not answer within its bound, as a loaded
// machine can make a live server seem: such a run tested nothing over JACK, and the clients it
// left open may hold up the server's cycles, so the case is run again on a fresh server, up to
// kJackAttempts times in all. Says so on standard error when it did.
bool jackDidNotAnswer(const std::string& toolErrors);
constexpr int kJackAttempts = 3;

// Starts the instrument program as a JACK client of that name; waits until it says "ready".
// Its output stays open for the lines it writes later.
bool startInstrument(const char* path, const char* clientName, ChildProcess& instrument,
                     std::string& error);

// startJackServer, then startInstrument on it: a test's usual start, with `error` saying which
// failed.
bool startJackWithInstrument(const char* instrumentPath, const char* clientName,
                             ChildProcess& server, ChildProcess& instrument, std::string& error,
                             unsigned periodFrames = 256);

// Runs exchange with a server of its own and the instrument on it as clientName, then stops
// both. exchange says whether the tool found the server too slow (jackDidNotAnswer); the whole
// is then done again on a fresh server, up to kJackAttempts times in all. False, with error
// saying why, when the server or the instrument did not start.
bool withFreshJackServer(const char* instrumentPath, const char* clientName,
                         const std::function<bool()>& exchange, std::string& error);

// Stops the server and removes what its clients left in its directory (a client still open in
// this process when the server went cannot remove its own files).
void stopJackServer(ChildProcess& server);

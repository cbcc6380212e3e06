// _getch on POSIX: one key from a terminal in non-canonical mode without echo, or one byte
// from standard input when that is a pipe or a file.
#include <errno.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include "platform/windows_api.h"

namespace {

// The signals that end a console program while it waits for a key.
const int kEndingSignals[] = {SIGINT, SIGTERM, SIGHUP};
constexpr int kSignalCount = sizeof(kEndingSignals) / sizeof(kEndingSignals[0]);

// The terminal settings to put back when a signal ends the process during the wait; set
// before the handlers are installed, read only by them.
termios savedTerminal;

// Puts the terminal back and lets the signal do what it would have done without us.
void restoreAndReraise(int signalNumber) {
    int savedErrno = errno;
    tcsetattr(STDIN_FILENO, TCSANOW, &savedTerminal);
    struct sigaction fallback {};
    fallback.sa_handler = SIG_DFL;
    sigemptyset(&fallback.sa_mask);
    sigaction(signalNumber, &fallback, nullptr);
    // Blocked while this handler runs; delivered with the default action once it returns.
    raise(signalNumber);
    errno = savedErrno;
}

struct InstalledHandlers {
    struct sigaction previous[kSignalCount];
    bool installed[kSignalCount];
};

void installHandlers(InstalledHandlers& handlers) {
    struct sigaction action {};
    action.sa_handler = restoreAndReraise;
    sigemptyset(&action.sa_mask);
    for (int i = 0; i < kSignalCount; ++i) {
        sigaddset(&action.sa_mask, kEndingSignals[i]);
    }
    for (int i = 0; i < kSignalCount; ++i) {
        handlers.installed[i] = false;
        if (sigaction(kEndingSignals[i], nullptr, &handlers.previous[i]) != 0) {
            continue;
        }
        // A signal the user chose to ignore (nohup) stays ignored.
        if (handlers.previous[i].sa_handler == SIG_IGN) {
            continue;
        }
        handlers.installed[i] = sigaction(kEndingSignals[i], &action, nullptr) == 0;
    }
}

void removeHandlers(const InstalledHandlers& handlers) {
    for (int i = 0; i < kSignalCount; ++i) {
        if (handlers.installed[i]) {
            sigaction(kEndingSignals[i], &handlers.previous[i], nullptr);
        }
    }
}

// One byte as 0..255, or -1 at end of input or on an error.
int readOneByte() {
    unsigned char byte = 0;
    for (;;) {
        ssize_t n = read(STDIN_FILENO, &byte, 1);
        if (n == 1) {
            return byte;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        return -1;
    }
}

}  // namespace

int _getch(void) {
    termios original{};
    if (!isatty(STDIN_FILENO) || tcgetattr(STDIN_FILENO, &original) != 0) {
        return readOneByte();
    }
    termios raw = original;
    raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;

    savedTerminal = original;
    InstalledHandlers handlers;
    installHandlers(handlers);
    // TCSANOW keeps keys typed ahead of the call; they are the ones to return.
    if (tcsetattr(STDIN_FILENO, TCSANOW, &raw) != 0) {
        removeHandlers(handlers);
        return readOneByte();
    }
    int key = readOneByte();
    tcsetattr(STDIN_FILENO, TCSANOW, &original);
    removeHandlers(handlers);
    return key;
}

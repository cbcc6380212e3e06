// _getch on POSIX: one key from a terminal in non-canonical mode without echo, or one byte
// from standard input when that is a pipe or a file.
//
// On a terminal, keys such as arrows, function keys and Alt+key arrive as escape sequences
// that start with byte 27, the code of Esc itself. Like the Windows console, which hands
// those keys over as two-part codes that never read as Esc, they must not pass for Esc: a
// 27 followed within a short time by more bytes is read to the end of its sequence and
// skipped, and only a 27 with nothing after it is returned. The pause is that of terminal
// libraries: a terminal writes a sequence at once, a person cannot type that fast.
#include <errno.h>
#include <poll.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include "platform/windows_api.h"

namespace {

constexpr int kEscape = 27;
// How long the next byte of an escape sequence may take (terminal libraries use 25 to 50).
constexpr int kSequencePauseMs = 50;

// The user's terminal settings, put back when a signal ends or stops the process during the
// wait, and the wait's own, put back when it continues; set before the handlers are
// installed, read only by them.
termios savedTerminal;
termios waitTerminal;

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

// Back in the foreground after a stop (fg): the shell has set its own mode meanwhile.
void resumeWaitMode(int) {
    int savedErrno = errno;
    // In the background the terminal is not ours; the next fg continues the process again.
    const pid_t foreground = tcgetpgrp(STDIN_FILENO);
    if (foreground < 0 || foreground == getpgrp()) {
        tcsetattr(STDIN_FILENO, TCSANOW, &waitTerminal);
    }
    errno = savedErrno;
}

// Ctrl-Z: hands the user's mode back to the shell, then stops as the signal would have.
void restoreAndStop(int signalNumber) {
    int savedErrno = errno;
    tcsetattr(STDIN_FILENO, TCSANOW, &savedTerminal);
    struct sigaction ours {};
    struct sigaction fallback {};
    fallback.sa_handler = SIG_DFL;
    sigemptyset(&fallback.sa_mask);
    sigaction(signalNumber, &fallback, &ours);
    sigset_t stop;
    sigemptyset(&stop);
    sigaddset(&stop, signalNumber);
    // Blocked while this handler runs: raised, then unblocked, it stops the process here.
    raise(signalNumber);
    sigprocmask(SIG_UNBLOCK, &stop, nullptr);
    // Continued: resumeWaitMode (blocked until this handler returns) sets the wait's mode.
    sigaction(signalNumber, &ours, nullptr);
    errno = savedErrno;
}

struct SignalHandling {
    int signalNumber;
    void (*handler)(int);
};

const SignalHandling kHandled[] = {
    {SIGINT, restoreAndReraise},  {SIGTERM, restoreAndReraise}, {SIGHUP, restoreAndReraise},
    {SIGQUIT, restoreAndReraise}, {SIGTSTP, restoreAndStop},    {SIGCONT, resumeWaitMode},
};
constexpr int kHandledCount = sizeof(kHandled) / sizeof(kHandled[0]);

struct InstalledHandlers {
    struct sigaction previous[kHandledCount];
    bool installed[kHandledCount];
};

void installHandlers(InstalledHandlers& handlers) {
    for (int i = 0; i < kHandledCount; ++i) {
        struct sigaction action {};
        action.sa_handler = kHandled[i].handler;
        sigemptyset(&action.sa_mask);
        // One handler at a time, so none sees the terminal half switched by another.
        for (const SignalHandling& other : kHandled) {
            sigaddset(&action.sa_mask, other.signalNumber);
        }
        handlers.installed[i] = false;
        if (sigaction(kHandled[i].signalNumber, nullptr, &handlers.previous[i]) != 0) {
            continue;
        }
        // A signal the user chose to ignore (nohup) stays ignored.
        if (handlers.previous[i].sa_handler == SIG_IGN) {
            continue;
        }
        handlers.installed[i] = sigaction(kHandled[i].signalNumber, &action, nullptr) == 0;
    }
}

void removeHandlers(const InstalledHandlers& handlers) {
    for (int i = 0; i < kHandledCount; ++i) {
        if (handlers.installed[i]) {
            sigaction(kHandled[i].signalNumber, &handlers.previous[i], nullptr);
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

// The next byte if one arrives within kSequencePauseMs, else -1.
int readPromptByte() {
    pollfd ready{STDIN_FILENO, POLLIN, 0};
    int n = 0;
    do {
        n = poll(&ready, 1, kSequencePauseMs);
    } while (n < 0 && errno == EINTR);
    return n == 1 ? readOneByte() : -1;
}

// One key from the terminal: escape sequences of other keys are skipped whole.
int readKey() {
    for (;;) {
        int key = readOneByte();
        if (key != kEscape) {
            return key;
        }
        int next = readPromptByte();
        if (next < 0 || next == kEscape) {
            return kEscape;  // Esc alone (or pressed twice)
        }
        // CSI (ESC [) runs through parameter and intermediate bytes to a final byte in
        // 40..7E; SS3 (ESC O) has one byte more; Alt+key is ESC and the key.
        if (next == '[') {
            do {
                next = readPromptByte();
            } while (next >= 0x20 && next < 0x40);
        } else if (next == 'O') {
            readPromptByte();
        }
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
    waitTerminal = raw;
    InstalledHandlers handlers;
    installHandlers(handlers);
    // TCSANOW keeps keys typed ahead of the call; they are the ones to return.
    if (tcsetattr(STDIN_FILENO, TCSANOW, &raw) != 0) {
        removeHandlers(handlers);
        return readOneByte();
    }
    int key = readKey();
    tcsetattr(STDIN_FILENO, TCSANOW, &original);
    removeHandlers(handlers);
    return key;
}

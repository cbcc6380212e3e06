#include "platform/terminal_width.h"

#include <sys/ioctl.h>
#include <unistd.h>

int terminalColumns() {
    winsize size{};
    return ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 ? size.ws_col : 0;
}

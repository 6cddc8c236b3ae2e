#include "Console.h"

#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>

namespace LarkTerm::Console {

namespace {

// A hang-up or an error is "ready" too: the read that follows finds the end.
constexpr short kReadyEvents = POLLIN | POLLHUP | POLLERR | POLLNVAL;

}  // namespace

bool IsTerminal(int descriptor) { return ::isatty(descriptor) == 1; }

int Columns(int descriptor) {
    winsize size{};
    if (descriptor < 0 || ::ioctl(descriptor, TIOCGWINSZ, &size) != 0) return 0;
    return size.ws_col;
}

bool EnableEscapes(int) { return true; }

ReadResult ReadByte(int descriptor, char& byte) {
    for (;;) {
        ssize_t got = ::read(descriptor, &byte, 1);
        if (got == 1) return CR_Byte;
        if (got < 0 && errno == EINTR) continue;
        if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return CR_Again;
        return CR_End;
    }
}

WaitResult WaitForInput(int input, int other, int timeoutMs, bool& inputReady, bool& otherReady) {
    inputReady = otherReady = false;
    pollfd entries[2];
    nfds_t count = 0;
    int inputIndex = -1, otherIndex = -1;
    if (input >= 0) {
        inputIndex = static_cast<int>(count);
        entries[count++] = {input, POLLIN, 0};
    }
    if (other >= 0) {
        otherIndex = static_cast<int>(count);
        entries[count++] = {other, POLLIN, 0};
    }
    int ready = ::poll(count ? entries : nullptr, count, timeoutMs);
    if (ready < 0) return WR_Interrupted;
    if (ready == 0) return WR_TimedOut;
    inputReady = inputIndex >= 0 && (entries[inputIndex].revents & kReadyEvents);
    otherReady = otherIndex >= 0 && (entries[otherIndex].revents & kReadyEvents);
    return WR_Ready;
}

// Reads happen only on the window's own thread and only when a byte is ready: none can be waiting.
void StopReading() {}

}  // namespace LarkTerm::Console

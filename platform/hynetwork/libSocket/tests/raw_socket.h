// Test support: a plain listening socket, outside the demultiplexer, and the platform's codes of
// the socket errors the tests expect.
#pragma once

#include "HYInetAddress.h"

namespace nettest {

// Listens on 127.0.0.1 and a free port until destroyed.
struct RawListener {
    explicit RawListener(int backlog = 4);
    ~RawListener();
    RawListener(const RawListener&) = delete;
    RawListener& operator=(const RawListener&) = delete;
    // Waits for one connection: its descriptor, or -1.
    int Accept();

    int fd = -1;
    HYInetAddress address;
};

// True when the program runs under Wine, whose sockets differ from Windows' in a few ways that
// tests must allow for (and then say so).
bool RunningUnderWine();

// The system's codes: connection refused, connection reset, connect in progress, connect
// already in progress.
extern const int kErrRefused;
extern const int kErrReset;
extern const int kErrInProgress;
extern const int kErrAlready;

}  // namespace nettest

// Bare TCP sockets on loopback for test servers that must misbehave below HTTP (hang up before
// answering): listen, accept, receive, send and close, on Linux and Windows alike.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace loopback {

// Socket handles as a signed number; -1 is none.
using Socket = intptr_t;

// A listening socket on 127.0.0.1 with a port of the system's choice; -1 on failure.
Socket Listen(uint16_t& port);
// The next connection; -1 once the listener is closed.
Socket Accept(Socket listener);
// One byte; false at the end of the stream or on failure.
bool ReceiveByte(Socket socket, char& byte);
bool SendAll(Socket socket, const std::string& data);
// Wakes a thread blocked in Accept on it, then closes.
void Close(Socket socket);

}  // namespace loopback

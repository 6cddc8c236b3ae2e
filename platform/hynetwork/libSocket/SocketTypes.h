// The platform's socket types for the network libraries' headers: sockaddr_in, the byte-order
// functions and iovec (the gather list of a write).
#pragma once

#if defined(_WIN32)
#include <winsock2.h>
#include <ws2tcpip.h>

// Winsock brings <windows.h>, whose macros would hide the seam's function names.
#include "OsNameMacros.h"

#include <cstddef>

// Winsock gathers writes through WSABUF; the socket layer's interface keeps the POSIX form.
struct iovec {
    void* iov_base;
    size_t iov_len;
};
#elif defined(__unix__) || defined(__APPLE__)
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/uio.h>
#else
#error "No socket types for this platform"
#endif

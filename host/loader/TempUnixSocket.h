// A listening Unix-domain stream socket bound to a fresh temporary file name.
#pragma once

#include <string>

namespace larkhost {

// The longest socket path accepted, terminating NUL not counted: the smallest Unix address
// among the systems the host is built for holds 104 bytes.
constexpr size_t kMaxUnixSocketPath = 103;

// The folder for temporary sockets: $TMPDIR, else /tmp.
std::string TemporaryDirectory();

// Creates a non-blocking, close-on-exec socket bound to `<directory>/<prefix>XXXXXX` (a fresh
// name) and listening with a backlog of `backlog`. Answers the descriptor and the path, or -1
// with errno set (ENAMETOOLONG when the path would exceed kMaxUnixSocketPath).
int ListenOnTemporaryUnixSocket(const std::string& directory, const std::string& prefix,
                                int backlog, std::string& path);

}  // namespace larkhost

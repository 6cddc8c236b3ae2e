// A peer for the loader's tests: builds any request, well-formed or not, and sends it the way
// Wine's side does, with descriptors passed as SCM_RIGHTS.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "LoaderWire.h"

namespace larkhost::test {

struct ClientRequest {
    uint32_t type = kLoaderRequest64;
    std::string workingDirectory = std::string("/tmp\0", 5);  // raw bytes, NUL included
    std::string environment = std::string("A=1\0B=2\0", 8);
    std::string arguments = std::string("\0C:\\prog.exe\0", 13);
    int descriptorCount = 4;      // how many descriptors travel with the data byte
    bool sendDescriptors = true;  // false: stop before the descriptor message
    std::string trailing;         // bytes sent after the descriptor message
    bool endOfStream = true;      // shut down the sending side at the end
    bool stopAfterType = false;   // send only the request type
};

// Result of one exchange: the response value, or -1 when the host closed without one.
struct ClientResult {
    bool connected = false;
    int64_t response = -1;
};

// Connects to `socketPath`, sends the request and waits for the host's answer or close.
ClientResult SendRequest(const std::string& socketPath, const ClientRequest& request);

// Open descriptors of this process.
int CountOpenDescriptors();

// The strings back to back, each with its terminating NUL.
std::string NulStrings(const std::vector<std::string>& strings);

// Appends an 8-byte length and the bytes.
std::string LengthPrefixed(const std::string& bytes);

}  // namespace larkhost::test

// Network services of the platform seam: host-name lookup and the machine's hardware address.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace HY_OS {

// The IPv4 addresses of `name` (network byte order) in the order the system resolver gives
// them. Answers 0 and fills `addresses`, or the resolver's error code after logging
// "getaddrinfo(%s) err=%d %s".
int GetHostByName(const std::string& name, std::vector<uint32_t>& addresses);

// The machine id: the hardware address of the last network adapter the system lists (at most
// six bytes, zero-filled when shorter). False when no adapter list can be read.
bool GetMachineId(uint8_t (&id)[6]);

}  // namespace HY_OS

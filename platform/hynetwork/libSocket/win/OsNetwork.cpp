#include <winsock2.h>
#include <ws2tcpip.h>
#include <iphlpapi.h>

#include <cstring>
#include <vector>

#include "LogMessage.h"
#include "OsNetwork.h"

namespace HY_OS {

int GetHostByName(const std::string& name, std::vector<uint32_t>& addresses) {
    addresses.clear();
    addrinfo hints{};
    hints.ai_family = AF_INET;
    // One entry per address rather than one per socket type.
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* result = nullptr;
    int error = ::getaddrinfo(name.c_str(), nullptr, &hints, &result);
    if (error != 0) {
        HY_LOG(LL_Status, "PLAT_NET", "HY_OS::GetHostByName", "getaddrinfo(%s) err=%d %s\n",
               name.c_str(), error, gai_strerrorA(error));
        return error;
    }
    for (addrinfo* entry = result; entry != nullptr; entry = entry->ai_next) {
        if (entry->ai_family != AF_INET || entry->ai_addrlen < sizeof(sockaddr_in)) continue;
        const auto* in = reinterpret_cast<const sockaddr_in*>(entry->ai_addr);
        addresses.push_back(in->sin_addr.s_addr);
    }
    ::freeaddrinfo(result);
    return 0;
}

// The adapter list of the IP Helper; the last adapter's address is the machine id.
bool GetMachineId(uint8_t (&id)[6]) {
    ULONG size = 0;
    if (GetAdaptersInfo(nullptr, &size) != ERROR_BUFFER_OVERFLOW || size == 0) {
        // No adapters at all: a readable, empty list.
        std::memset(id, 0, sizeof id);
        return size == 0;
    }
    std::vector<unsigned char> buffer(size);
    auto* list = reinterpret_cast<IP_ADAPTER_INFO*>(buffer.data());
    if (GetAdaptersInfo(list, &size) != NO_ERROR) return false;
    uint8_t result[6] = {};
    for (IP_ADAPTER_INFO* adapter = list; adapter != nullptr; adapter = adapter->Next) {
        size_t length = adapter->AddressLength < 6 ? adapter->AddressLength : 6;
        std::memset(result, 0, sizeof result);
        std::memcpy(result, adapter->Address, length);
    }
    std::memcpy(id, result, sizeof result);
    return true;
}

}  // namespace HY_OS

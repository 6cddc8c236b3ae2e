#include "OsNetwork.h"

#include <ifaddrs.h>
#include <linux/if_packet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cstring>

#include "LogMessage.h"

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
               name.c_str(), error, ::gai_strerror(error));
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

bool GetMachineId(uint8_t (&id)[6]) {
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0) return false;
    uint8_t result[6] = {};
    for (ifaddrs* entry = list; entry != nullptr; entry = entry->ifa_next) {
        if (entry->ifa_addr == nullptr || entry->ifa_addr->sa_family != AF_PACKET) continue;
        const auto* link = reinterpret_cast<const sockaddr_ll*>(entry->ifa_addr);
        size_t length = link->sll_halen < 6 ? link->sll_halen : 6;
        std::memset(result, 0, sizeof result);
        std::memcpy(result, link->sll_addr, length);
    }
    ::freeifaddrs(list);
    std::memcpy(id, result, sizeof result);
    return true;
}

}  // namespace HY_OS

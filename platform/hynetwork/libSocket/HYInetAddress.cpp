#include "HYInetAddress.h"

#include "SocketTypes.h"

#include <vector>

#include "AddressMasks.h"
#include "LogMessage.h"
#include "OsEnv.h"
#include "OsHost.h"
#include "OsNetwork.h"

namespace {

// This machine's name: "HY_HOSTNAME" when set, else the system's, whose answer is logged.
std::string HostName() {
    std::string name;
    if (HY_OS::GetEnv("HY_HOSTNAME", name)) return name;
    int result = HY_OS::GetSystemHostName(name);
    HY_LOG(LL_Status, "PLAT_NET", "HY_OS::GetHostName", "gethostname(%s) returned %d", name.c_str(),
           result);
    return name;
}

}  // namespace

HYInetAddress::HYInetAddress(uint32_t hostOrderAddress, uint16_t hostOrderPort)
    : m_address(htonl(hostOrderAddress)), m_port(htons(hostOrderPort)) {}

HYInetAddress::HYInetAddress(const sockaddr_in& address)
    : m_address(address.sin_addr.s_addr), m_port(address.sin_port) {}

bool HYInetAddress::IsLoopback() const { return m_address == htonl(INADDR_LOOPBACK); }

int HYInetAddress::SetAddress(const std::string& host, uint16_t hostOrderPort) {
    std::vector<uint32_t> resolved;
    if (HY_OS::GetHostByName(host, resolved) != 0) return 1;
    uint32_t chosen = 0;
    if (!AddressPolicy::Process().SelectServerAddress(resolved, chosen)) return 1;
    m_family = kFamily;
    m_length = kLength;
    m_address = chosen;
    SetPort(hostOrderPort);
    if (IsLoopback()) {
        // A server on this machine is reached through the machine's own address when it has
        // one; without any, the loopback address stays (it still reaches the server).
        HYInetAddress own = *this;
        if (own.SetToHost(true) == 0 || own.SetToHost(false) == 0) *this = own;
    }
    return 0;
}

int HYInetAddress::SetToHost(bool wantPublic) {
    std::string name = HostName();
    std::vector<uint32_t> resolved;
    int error = name.empty() ? -1 : HY_OS::GetHostByName(name, resolved);
    uint32_t chosen = 0;
    if (error == 0 && !AddressPolicy::Process().SelectHostAddress(resolved, wantPublic, chosen)) {
        error = -1;
    }
    if (error != 0) {
        if (wantPublic) {
            HY_LOG(LL_Status, "PLAT_NET", "HYInetAddress::SetToHost",
                   "%s: GetHostAddr failed (error:%d) for public address.",
                   "HYInetAddress::SetToHost", error);
        } else {
            HY_LOG(LL_Status, "PLAT_NET", "HYInetAddress::SetToHost",
                   "%s: GetHostAddr failed (error:%d) for private address.",
                   "HYInetAddress::SetToHost", error);
        }
        return 1;
    }
    m_family = kFamily;
    m_length = kLength;
    m_address = chosen;
    return 0;
}

std::string HYInetAddress::ToText(bool withPort) const {
    std::string text = DottedQuad(m_address);
    if (withPort) text += ":" + std::to_string(Port());
    return text;
}

void HYInetAddress::Dump() const {
    HY_LOG(LL_Status, "PLAT_NET", "HYInetAddress::Dump",
           "HYInetAddress::Dump this=%p Family=%d addr='%s'\n", static_cast<const void*>(this),
           m_family, ToText(true).c_str());
}

sockaddr_in HYInetAddress::ToSockAddr() const {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = m_address;
    address.sin_port = m_port;
    return address;
}

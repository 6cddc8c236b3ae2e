// An IPv4 address and port, both kept in network byte order, with name resolution.
#pragma once

#include "SocketTypes.h"

#include <cstdint>
#include <string>

class HYInetAddress {
public:
    static constexpr uint16_t kFamily = 2;  // IPv4
    static constexpr uint16_t kLength = 16;

    HYInetAddress() = default;
    // `address` and `port` in host byte order.
    HYInetAddress(uint32_t hostOrderAddress, uint16_t hostOrderPort);
    explicit HYInetAddress(const sockaddr_in& address);

    // Resolves `host` (a name or a dotted quad) and picks one of its addresses: a preferred
    // private one, else the first. The loopback address 127.0.0.1 is replaced by this machine's
    // public address, or its private one, when the machine has one. 0 on success, 1 on failure.
    int SetAddress(const std::string& host, uint16_t hostOrderPort);
    // This machine's public (or private) address, keeping the port. 0, or 1 after logging.
    int SetToHost(bool wantPublic);

    // The dotted quad, with ":port" when asked.
    std::string ToText(bool withPort) const;
    void Dump() const;

    sockaddr_in ToSockAddr() const;
    uint16_t Family() const { return m_family; }
    uint16_t Length() const { return m_length; }
    uint32_t NetAddress() const { return m_address; }
    uint16_t NetPort() const { return m_port; }
    uint16_t Port() const { return ntohs(m_port); }
    void SetNetAddress(uint32_t address) { m_address = address; }
    void SetPort(uint16_t hostOrderPort) { m_port = htons(hostOrderPort); }
    bool IsLoopback() const;
    bool operator==(const HYInetAddress& other) const = default;

private:
    uint16_t m_family = kFamily;
    uint16_t m_length = kLength;
    uint32_t m_address = 0;
    uint16_t m_port = 0;
};

#include "AddressMasks.h"

#include "SocketTypes.h"

#include <cstdio>

#include "OsEnv.h"

const char* const kPreferredPrivatePrefixes[4] = {"192.168.145.", "192.168.60.", "192.168.192.",
                                                  ""};

namespace {

constexpr uint32_t kLoopback = 0x0100007F;  // 127.0.0.1 in network byte order

uint32_t FromHostOrder(uint8_t a, uint8_t b, uint8_t c, uint8_t d) {
    return htonl((uint32_t{a} << 24) | (uint32_t{b} << 16) | (uint32_t{c} << 8) | d);
}

AddressMaskList DefaultPrivateRanges() {
    return {{FromHostOrder(10, 0, 0, 0), FromHostOrder(255, 0, 0, 0)},
            {FromHostOrder(172, 16, 0, 0), FromHostOrder(255, 240, 0, 0)},
            {FromHostOrder(192, 168, 0, 0), FromHostOrder(255, 255, 0, 0)}};
}

AddressMaskList FromEnvironment(const char* name) {
    std::string text;
    if (!HY_OS::GetEnv(name, text)) return {};
    return ParseAddressMasks(text);
}

// Picks, for each prefix in order, the first candidate whose text starts with it.
bool PickByPrefix(const std::vector<uint32_t>& candidates, uint32_t& chosen) {
    for (const char* prefix : kPreferredPrivatePrefixes) {
        for (uint32_t address : candidates) {
            if (DottedQuad(address).rfind(prefix, 0) == 0) {
                chosen = address;
                return true;
            }
        }
    }
    return false;
}

}  // namespace

bool ParseDottedQuad(const std::string& text, uint32_t& address) {
    unsigned parts[4];
    int consumed = 0;
    if (std::sscanf(text.c_str(), "%3u.%3u.%3u.%3u%n", &parts[0], &parts[1], &parts[2], &parts[3],
                    &consumed) != 4 ||
        static_cast<size_t>(consumed) != text.size()) {
        return false;
    }
    for (char c : text)
        if (c != '.' && (c < '0' || c > '9')) return false;
    for (unsigned part : parts)
        if (part > 255) return false;
    address = FromHostOrder(static_cast<uint8_t>(parts[0]), static_cast<uint8_t>(parts[1]),
                            static_cast<uint8_t>(parts[2]), static_cast<uint8_t>(parts[3]));
    return true;
}

std::string DottedQuad(uint32_t address) {
    uint32_t host = ntohl(address);
    char text[16];
    std::snprintf(text, sizeof text, "%u.%u.%u.%u", host >> 24, (host >> 16) & 0xFF,
                  (host >> 8) & 0xFF, host & 0xFF);
    return text;
}

AddressMaskList ParseAddressMasks(const std::string& text) {
    AddressMaskList list;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find(':', start);
        std::string entry = text.substr(start, end == std::string::npos ? end : end - start);
        size_t slash = entry.find('/');
        if (slash == std::string::npos) break;
        AddressMask item{};
        if (!ParseDottedQuad(entry.substr(0, slash), item.value) ||
            !ParseDottedQuad(entry.substr(slash + 1), item.mask) || item.value == 0 ||
            item.mask == 0) {
            break;
        }
        list.push_back(item);
        if (end == std::string::npos) break;
        start = end + 1;
    }
    return list;
}

AddressPolicy::AddressPolicy(AddressMaskList ignore, AddressMaskList privateRanges)
    : m_ignore(std::move(ignore)), m_private(std::move(privateRanges)) {
    if (m_private.empty()) m_private = DefaultPrivateRanges();
}

const AddressPolicy& AddressPolicy::Process() {
    // Read once, on first use; a function-local static is initialised thread-safely.
    static const AddressPolicy policy(FromEnvironment("NET_IGNORE_ADDRMASKS"),
                                      FromEnvironment("NET_PRIVATE_ADDRMASKS"));
    return policy;
}

bool AddressPolicy::IsIgnored(uint32_t address) const {
    if (address == kLoopback) return true;
    for (const AddressMask& entry : m_ignore)
        if (entry.Matches(address)) return true;
    return false;
}

bool AddressPolicy::IsPrivate(uint32_t address) const {
    for (const AddressMask& entry : m_private)
        if (entry.Matches(address)) return true;
    return false;
}

bool AddressPolicy::SelectServerAddress(const std::vector<uint32_t>& resolved,
                                        uint32_t& chosen) const {
    if (resolved.empty()) return false;
    if (SelectHostAddress(resolved, false, chosen)) return true;
    chosen = resolved.front();
    return true;
}

bool AddressPolicy::SelectHostAddress(const std::vector<uint32_t>& resolved, bool wantPublic,
                                      uint32_t& chosen) const {
    std::vector<uint32_t> kept;
    for (uint32_t address : resolved) {
        if (IsIgnored(address)) continue;
        if (IsPrivate(address) == wantPublic) continue;
        kept.push_back(address);
    }
    return PickByPrefix(kept, chosen);
}

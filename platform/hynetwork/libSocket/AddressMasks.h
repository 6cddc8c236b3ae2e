// Which IPv4 addresses are private or to be ignored, and how one address is picked among the
// several a name resolves to. Addresses and masks are 32-bit values in network byte order.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct AddressMask {
    uint32_t value;
    uint32_t mask;
    // (address AND mask) = value.
    bool Matches(uint32_t address) const { return (address & mask) == value; }
};

using AddressMaskList = std::vector<AddressMask>;

// Parses "a.b.c.d/m.m.m.m:..." up to the first entry that lacks the "/", whose address or mask
// is not four decimal numbers, or whose address or mask is 0.
AddressMaskList ParseAddressMasks(const std::string& text);

// Parses a dotted quad of four decimal numbers (0..255 each); false for anything else.
bool ParseDottedQuad(const std::string& text, uint32_t& address);
std::string DottedQuad(uint32_t address);

// The address lists of the process, each read once from its environment variable on first use:
// "NET_IGNORE_ADDRMASKS", and "NET_PRIVATE_ADDRMASKS" (the 10/8, 172.16/12 and 192.168/16 ranges
// when it yields no entry).
class AddressPolicy {
public:
    AddressPolicy(AddressMaskList ignore, AddressMaskList privateRanges);
    static const AddressPolicy& Process();

    // 127.0.0.1 is always ignored.
    bool IsIgnored(uint32_t address) const;
    bool IsPrivate(uint32_t address) const;

    // The address to connect to among `resolved`: the preferred private address that is not
    // ignored, or else the first resolved one. False when `resolved` is empty.
    bool SelectServerAddress(const std::vector<uint32_t>& resolved, uint32_t& chosen) const;
    // This machine's public (or private) address among `resolved`; false when none qualifies.
    bool SelectHostAddress(const std::vector<uint32_t>& resolved, bool wantPublic,
                           uint32_t& chosen) const;

private:
    AddressMaskList m_ignore;
    AddressMaskList m_private;
};

// The private prefixes tried in order; the empty one matches every address.
extern const char* const kPreferredPrivatePrefixes[4];

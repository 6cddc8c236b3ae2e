#include "PatchClientId.h"

#include <cstdint>
#include <cstdio>
#include <random>

#include "UserRegistryStore.h"

std::string NewGuidText() {
    std::random_device source;
    uint8_t bytes[16];
    for (size_t i = 0; i < sizeof bytes; i += 4) {
        uint32_t word = source();
        for (size_t k = 0; k < 4; ++k) bytes[i + k] = static_cast<uint8_t>(word >> (8 * k));
    }
    bytes[6] = static_cast<uint8_t>((bytes[6] & 0x0F) | 0x40);  // version 4: random
    bytes[8] = static_cast<uint8_t>((bytes[8] & 0x3F) | 0x80);  // the standard variant
    char text[40];
    std::snprintf(text, sizeof text,
                  "{%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                  bytes[0], bytes[1], bytes[2], bytes[3], bytes[4], bytes[5], bytes[6], bytes[7],
                  bytes[8], bytes[9], bytes[10], bytes[11], bytes[12], bytes[13], bytes[14],
                  bytes[15]);
    return text;
}

std::string PatchClientIdFromRegistry(UserRegistryStore& store, const std::string& registryKey,
                                      const std::string& valueName) {
    if (registryKey.empty() || valueName.empty()) return {};
    std::string id;
    if (store.ReadString(registryKey, valueName, id) && !id.empty() &&
        id.size() + 1 <= kMaxStoredPatchClientIdBytes)
        return id;
    id = NewGuidText();
    if (!store.WriteString(registryKey, valueName, id)) return {};
    return id;
}

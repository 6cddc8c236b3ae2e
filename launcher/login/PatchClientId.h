// The patch client id: a GUID that identifies this installation to the login server, kept in the
// current user's registry store and made on first use.
#pragma once

#include <string>

class UserRegistryStore;

// The most bytes (terminator included) a stored id may take.
inline constexpr size_t kMaxStoredPatchClientIdBytes = 40;

// A new random GUID in its registry text form: 38 characters, upper-case hexadecimal groups of
// 8-4-4-4-12 digits in braces.
std::string NewGuidText();

// The id stored under `registryKey` as the value `valueName`; when there is none (or it is
// longer than 39 characters), a new GUID written there. Empty when either name is empty or the
// new id cannot be stored.
std::string PatchClientIdFromRegistry(UserRegistryStore& store, const std::string& registryKey,
                                      const std::string& valueName);

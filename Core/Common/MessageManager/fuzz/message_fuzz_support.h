// Shared by the message fuzz targets: the shipped modules loaded once, and one decode of an
// input followed by what a receiver does with a decoded record.
#pragma once

#include <cstddef>
#include <cstdint>

// Loads "BaseMessages", "ExtendedBaseMessages", "LoginMessages" and "PatchMessages" from the
// source tree's data folder, once per process.
void LoadShippedModules();

// Decodes the bytes as a message at the highest access level; a decoded record is encoded again
// and turned into both text forms.
void DecodeAndUse(const uint8_t* data, size_t size);

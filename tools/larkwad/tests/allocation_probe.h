// The largest single allocation the program made since the last Reset.
#pragma once

#include <atomic>
#include <cstddef>

namespace allocation_probe {
void Reset();
size_t Largest();
}  // namespace allocation_probe

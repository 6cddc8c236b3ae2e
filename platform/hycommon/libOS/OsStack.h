// The calling thread's stack, for diagnostics.
#pragma once

#include <string>
#include <vector>

namespace HY_OS {

// The functions on the calling thread's stack, innermost first, starting with the caller of this
// function: up to `maxFrames` entries, each a readable function name where the platform knows
// one, else the module the code belongs to, else "??".
std::vector<std::string> CallerStack(int maxFrames);

}  // namespace HY_OS

// The Windows handle behind one of the descriptor numbers the terminal front-end uses.
#pragma once

#include <windows.h>

namespace LarkTerm::Console {

// 0, 1 and 2 are the process's standard handles; any other number is a C run-time descriptor.
HANDLE HandleOf(int descriptor);

}  // namespace LarkTerm::Console

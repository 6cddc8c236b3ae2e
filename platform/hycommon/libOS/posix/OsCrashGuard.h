// Shared by the crash handler's signal entry and the unwinder: a fault that happens while the
// unwinder walks a damaged stack is turned back into an end of the walk.
#pragma once

namespace HY_OS {

// Called first by the fatal-signal handler: when the faulting thread is inside a guarded walk,
// jumps back to it and does not return.
void RecoverFromGuardedFault();

}  // namespace HY_OS

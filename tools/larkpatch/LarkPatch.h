// larkpatch: patches packages of an installation with the launcher's own batch patcher, printing
// one line per file and a summary (LarkPatchOptions.h has the command line).
#pragma once

#include <atomic>
#include <iosfwd>

#include "LarkPatchOptions.h"

// Runs one batch for `options` on the calling thread, which becomes a worker thread. Answers the
// exit status: 0, the patch failure code, or LPE_Setup. Setting `stop` ends the batch early.
int RunLarkPatch(const LarkPatchOptions& options, std::ostream& out, std::ostream& err,
                 const std::atomic<bool>& stop);

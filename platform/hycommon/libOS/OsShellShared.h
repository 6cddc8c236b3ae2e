// Helpers of the shell's calls shared by the platform halves (private to this folder).
#pragma once

#include "OsShell.h"

namespace HY_OS {

// The answer of a box that nobody answers: OK, No or Abort.
MessageBoxAnswer SafeMessageBoxAnswer(MessageBoxButtons buttons);
// Writes a box to standard error as "[title] text".
void PrintMessageBox(const char* title, const char* text);

}  // namespace HY_OS

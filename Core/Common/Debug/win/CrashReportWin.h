// The text of a crash report on Windows x64: the exception with its name, the fault address
// placed in its module's section, the registers and the stacks, one line at a time through a
// line sink. Uses static buffers only.
#pragma once

#include <windows.h>

#include <cstdint>

#include "OsCrash.h"

using CrashLineSink = void (*)(const char* text);

// The name of an exception code ("ACCESS_VIOLATION", ...); for any other code the system's
// message text for it from ntdll.dll, or "" when it has none.
const char* WinExceptionName(DWORD code);

// "<section>:<offset> <module>" of `address` (section numbered from 1, found from the module's
// PE headers), or "??:???????? <module>" when the address lies in no section of a module.
void WinLogicalAddress(uint64_t address, char* out, size_t size);

// Walks a stack from its registers with the system's unwind tables: the instruction pointer,
// then the return address of each frame, at most `max`. Answers the count.
int WalkWinStack(const CONTEXT& context, uint64_t* frames, int max);

// Separator, exception code and name, fault address, registers, the stack, separator.
void WriteWinCrashReport(const EXCEPTION_RECORD& record, const CONTEXT& context, CrashLineSink sink);
// "Thread %u Stack:", the stack from the frames walked, the separator.
void WriteWinThreadStack(uint32_t threadId, const uint64_t* frames, int count, CrashLineSink sink);

// The text of a crash report on x86-64: the exception, the registers and the stacks, one line
// at a time through a line sink. Signal-safe; the memory map must have been read
// (HY_OS::ReadMemoryMap) for addresses to be placed in their modules.
#pragma once

#include <cstdint>

#include "OsCrash.h"

using CrashLineSink = void (*)(const char* text);

// The report's name for a fatal event: the Windows exception name where one matches the signal
// ("ACCESS_VIOLATION", "STACK_OVERFLOW", "INT_DIVIDE_BY_ZERO", "ILLEGAL_INSTRUCTION",
// "BREAKPOINT", ...), otherwise the signal's own name ("SIGABRT").
const char* CrashExceptionName(int signal, int code, bool stackOverflow, bool integerDivide);

// Separator, exception code and name, fault address, registers, the stack, separator.
void WriteCrashReport(const HY_OS::CrashInfo& info, CrashLineSink sink);
// "Thread %u Stack:", the thread's stack, the separator.
void WriteThreadStack(const HY_OS::CrashThread& thread, CrashLineSink sink);
// The header and up to 128 frames: the instruction pointer, then the return address of each
// frame. With the thread's signal context the stack is unwound by its call-frame information;
// otherwise (or when that finds nothing) the frame-pointer chain is followed while the next frame
// lies higher on the stack, is aligned and can be read.
void WriteStackListing(const HY_OS::CpuContext& context, const void* nativeContext,
                       CrashLineSink sink);

constexpr int kMaxStackFrames = 128;
constexpr const char kCrashSeparator[] = "=====================================================";

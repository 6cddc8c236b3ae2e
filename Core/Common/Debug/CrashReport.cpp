#include "CrashReport.h"

#include <csignal>

#include "OsMemoryMap.h"
#include "SafeText.h"

namespace {

// Report lines are made in static storage: the handler's stack may be a small one.
SafeText g_text;

const char* SignalName(int signal) {
    switch (signal) {
        case SIGSEGV: return "SIGSEGV";
        case SIGBUS: return "SIGBUS";
        case SIGFPE: return "SIGFPE";
        case SIGILL: return "SIGILL";
        case SIGABRT: return "SIGABRT";
        case SIGTRAP: return "SIGTRAP";
        default: return "SIGNAL";
    }
}

// The module column: "%04X:%016X %s", or question marks when the address is in no module.
void AppendLocation(SafeText& out, uint64_t address, int sectionWidth) {
    HY_OS::AddressLocation where = HY_OS::LocateAddress(address);
    if (where.inModule) {
        out.Hex(where.segment, sectionWidth).Char(':').Hex(where.offset, 16).Char(' ');
    } else {
        out.Repeat('?', sectionWidth).Char(':').Repeat('?', 16).Char(' ');
    }
    out.Str(where.region);
}

void Frame(uint64_t address, CrashLineSink sink) {
    g_text.Clear();
    g_text.Hex(address, 16).Str("  ");
    AppendLocation(g_text, address, 4);
    sink(g_text.c_str());
}

}  // namespace

const char* CrashExceptionName(int signal, int code, bool stackOverflow, bool integerDivide) {
    switch (signal) {
        case SIGSEGV: return stackOverflow ? "STACK_OVERFLOW" : "ACCESS_VIOLATION";
        case SIGFPE:
            if (integerDivide) return "INT_DIVIDE_BY_ZERO";
            switch (code) {
                case FPE_INTOVF: return "INT_OVERFLOW";
                case FPE_FLTDIV: return "FLT_DIVIDE_BY_ZERO";
                case FPE_FLTOVF: return "FLT_OVERFLOW";
                case FPE_FLTUND: return "FLT_UNDERFLOW";
                case FPE_FLTRES: return "FLT_INEXACT_RESULT";
                case FPE_FLTINV: return "FLT_INVALID_OPERATION";
                case FPE_FLTSUB: return "ARRAY_BOUNDS_EXCEEDED";
                default: return "SIGFPE";
            }
        case SIGILL: return code == ILL_PRVOPC || code == ILL_PRVREG ? "PRIV_INSTRUCTION"
                                                                      : "ILLEGAL_INSTRUCTION";
        case SIGTRAP: return code == TRAP_TRACE ? "SINGLE_STEP" : "BREAKPOINT";
        case SIGBUS: return code == BUS_ADRALN ? "DATATYPE_MISALIGNMENT"
                            : code == BUS_ADRERR || code == BUS_OBJERR ? "IN_PAGE_ERROR"
                                                                       : "SIGBUS";
        default: return SignalName(signal);
    }
}

void WriteStackListing(const HY_OS::CpuContext& context, const void* nativeContext,
                       CrashLineSink sink) {
    sink("Address           Logical addr          Module");
    static uint64_t frames[kMaxStackFrames];
    int unwound = HY_OS::UnwindStack(nativeContext, frames, kMaxStackFrames);
    if (unwound > 0) {
        for (int i = 0; i < unwound; ++i) Frame(frames[i], sink);
        return;
    }
    Frame(context.rip, sink);
    // Frames are only followed inside the stack mapping that holds the stack pointer.
    const HY_OS::MemoryMapping* stack = HY_OS::FindMapping(context.rsp);
    uint64_t low = context.rsp, high = stack ? stack->end : 0;
    uint64_t frame = context.rbp;
    for (int n = 1; n < kMaxStackFrames; ++n) {
        if (frame < low || frame + 16 > high || (frame & 7) != 0) break;
        uint64_t words[2];  // saved frame pointer, return address
        if (!HY_OS::SafeRead(frame, words, sizeof words) || words[1] == 0) break;
        Frame(words[1], sink);
        if (words[0] <= frame) break;
        low = frame + 16;
        frame = words[0];
    }
}

void WriteCrashReport(const HY_OS::CrashInfo& info, CrashLineSink sink) {
    const HY_OS::CpuContext& c = info.context;
    sink(kCrashSeparator);
    g_text.Clear();
    g_text.Str("Exception code: ").Hex(static_cast<uint32_t>(info.signal), 8).Char(' ');
    g_text.Str(CrashExceptionName(info.signal, info.code, info.stackOverflow, info.integerDivide));
    sink(g_text.c_str());

    g_text.Clear();
    g_text.Str("Fault address:  ").Hex(info.faultAddress, 16).Char(' ');
    AppendLocation(g_text, info.faultAddress, 2);
    sink(g_text.c_str());

    sink("Registers:");
    g_text.Clear();
    g_text.Str("RAX:").Hex(c.rax, 16).Str(" RBX:").Hex(c.rbx, 16).Str(" RCX:").Hex(c.rcx, 16);
    g_text.Str(" RDX:").Hex(c.rdx, 16).Str(" RSI:").Hex(c.rsi, 16).Str(" RDI:").Hex(c.rdi, 16);
    sink(g_text.c_str());
    g_text.Clear();
    g_text.Str("R8:").Hex(c.r8, 16).Str(" R9:").Hex(c.r9, 16).Str(" R10:").Hex(c.r10, 16);
    g_text.Str(" R11:").Hex(c.r11, 16);
    sink(g_text.c_str());
    g_text.Clear();
    g_text.Str("R12:").Hex(c.r12, 16).Str(" R13:").Hex(c.r13, 16).Str(" R14:").Hex(c.r14, 16);
    g_text.Str(" R15:").Hex(c.r15, 16);
    sink(g_text.c_str());
    g_text.Clear();
    g_text.Str("CS:RIP:").Hex(c.cs, 4).Char(':').Hex(c.rip, 16);
    sink(g_text.c_str());
    g_text.Clear();
    g_text.Str("SS:RSP:").Hex(c.ss, 4).Char(':').Hex(c.rsp, 16).Str("  RBP:").Hex(c.rbp, 16);
    sink(g_text.c_str());
    g_text.Clear();
    g_text.Str("DS:").Hex(c.ds, 4).Str("  ES:").Hex(c.es, 4).Str("  FS:").Hex(c.fs, 4);
    g_text.Str("  GS:").Hex(c.gs, 4);
    sink(g_text.c_str());
    g_text.Clear();
    g_text.Str("Flags:").Hex(c.flags, 16);
    sink(g_text.c_str());

    WriteStackListing(c, info.nativeContext, sink);
    sink(kCrashSeparator);
}

void WriteThreadStack(const HY_OS::CrashThread& thread, CrashLineSink sink) {
    g_text.Clear();
    g_text.Str("Thread ").Dec(thread.threadId).Str(" Stack:");
    sink(g_text.c_str());
    WriteStackListing(thread.context, thread.nativeContext, sink);
    sink(kCrashSeparator);
}

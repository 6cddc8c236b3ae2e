#include "CrashReportWin.h"

#include <cstdio>
#include <cstring>

namespace {

constexpr const char kSeparator[] = "=====================================================";
constexpr int kMaxFrames = 128;

char g_text[1024];
char g_location[MAX_PATH + 64];
char g_messageName[512];
uint64_t g_frames[kMaxFrames];

struct Named {
    DWORD code;
    const char* name;
};
constexpr Named kNames[] = {
    {0x80000001, "GUARD_PAGE"}, {0x80000002, "DATATYPE_MISALIGNMENT"},
    {0x80000003, "BREAKPOINT"}, {0x80000004, "SINGLE_STEP"},
    {0xC0000005, "ACCESS_VIOLATION"}, {0xC0000006, "IN_PAGE_ERROR"},
    {0xC0000008, "INVALID_HANDLE"}, {0xC000001D, "ILLEGAL_INSTRUCTION"},
    {0xC0000025, "NONCONTINUABLE_EXCEPTION"}, {0xC0000026, "INVALID_DISPOSITION"},
    {0xC000008C, "ARRAY_BOUNDS_EXCEEDED"}, {0xC000008D, "FLT_DENORMAL_OPERAND"},
    {0xC000008E, "FLT_DIVIDE_BY_ZERO"}, {0xC000008F, "FLT_INEXACT_RESULT"},
    {0xC0000090, "FLT_INVALID_OPERATION"}, {0xC0000091, "FLT_OVERFLOW"},
    {0xC0000092, "FLT_STACK_CHECK"}, {0xC0000093, "FLT_UNDERFLOW"},
    {0xC0000094, "INT_DIVIDE_BY_ZERO"}, {0xC0000095, "INT_OVERFLOW"},
    {0xC0000096, "PRIV_INSTRUCTION"}, {0xC00000FD, "STACK_OVERFLOW"},
};

void Frame(uint64_t address, CrashLineSink sink) {
    WinLogicalAddress(address, g_location, sizeof g_location);
    std::snprintf(g_text, sizeof g_text, "%016llX  %s", static_cast<unsigned long long>(address),
                  g_location);
    sink(g_text);
}

void Listing(const uint64_t* frames, int count, CrashLineSink sink) {
    sink("Address           Logical addr          Module");
    for (int i = 0; i < count; ++i) Frame(frames[i], sink);
}

}  // namespace

const char* WinExceptionName(DWORD code) {
    for (const Named& named : kNames)
        if (named.code == code) return named.name;
    g_messageName[0] = '\0';
    DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_IGNORE_INSERTS,
                             GetModuleHandleA("ntdll.dll"), code, 0, g_messageName,
                             sizeof g_messageName, nullptr);
    while (n > 0 && (g_messageName[n - 1] == '\n' || g_messageName[n - 1] == '\r')) g_messageName[--n] = '\0';
    return g_messageName;
}

void WinLogicalAddress(uint64_t address, char* out, size_t size) {
    MEMORY_BASIC_INFORMATION memory;
    char module[MAX_PATH] = "";
    if (VirtualQuery(reinterpret_cast<LPCVOID>(address), &memory, sizeof memory) == 0 ||
        memory.AllocationBase == nullptr) {
        std::snprintf(out, size, "????:???????????????? %s", module);
        return;
    }
    auto base = reinterpret_cast<uint64_t>(memory.AllocationBase);
    if (GetModuleFileNameA(static_cast<HMODULE>(memory.AllocationBase), module, MAX_PATH) == 0) {
        std::snprintf(out, size, "????:???????????????? %s", module);
        return;
    }
    auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_SECTION_HEADER* section = IMAGE_FIRST_SECTION(nt);
    uint64_t rva = address - base;
    for (unsigned i = 0; i < nt->FileHeader.NumberOfSections; ++i, ++section) {
        uint64_t start = section->VirtualAddress;
        uint64_t length = section->SizeOfRawData > section->Misc.VirtualSize ? section->SizeOfRawData
                                                                             : section->Misc.VirtualSize;
        if (rva >= start && rva < start + length) {
            std::snprintf(out, size, "%04X:%016llX %s", i + 1,
                          static_cast<unsigned long long>(rva - start), module);
            return;
        }
    }
    std::snprintf(out, size, "????:???????????????? %s", module);
}

int WalkWinStack(const CONTEXT& start, uint64_t* frames, int max) {
    CONTEXT context = start;
    int count = 0;
    while (count < max && context.Rip != 0) {
        frames[count++] = context.Rip;
        uint64_t previousSp = context.Rsp;
        DWORD64 imageBase = 0;
        PRUNTIME_FUNCTION function = RtlLookupFunctionEntry(context.Rip, &imageBase, nullptr);
        if (function) {
            void* handlerData = nullptr;
            DWORD64 establisher = 0;
            RtlVirtualUnwind(UNW_FLAG_NHANDLER, imageBase, context.Rip, function, &context,
                             &handlerData, &establisher, nullptr);
        } else {
            // A leaf function: the return address is at the top of the stack.
            uint64_t returnAddress = 0;
            if (!HY_OS::SafeRead(context.Rsp, &returnAddress, sizeof returnAddress)) break;
            context.Rip = returnAddress;
            context.Rsp += 8;
        }
        // The stack only grows back up; anything else is a damaged stack.
        if (context.Rsp <= previousSp) break;
    }
    return count;
}

void WriteWinCrashReport(const EXCEPTION_RECORD& record, const CONTEXT& c, CrashLineSink sink) {
    sink(kSeparator);
    std::snprintf(g_text, sizeof g_text, "Exception code: %08lX %s",
                  static_cast<unsigned long>(record.ExceptionCode), WinExceptionName(record.ExceptionCode));
    sink(g_text);
    auto fault = reinterpret_cast<uint64_t>(record.ExceptionAddress);
    WinLogicalAddress(fault, g_location, sizeof g_location);
    std::snprintf(g_text, sizeof g_text, "Fault address:  %016llX %s",
                  static_cast<unsigned long long>(fault), g_location);
    sink(g_text);
    sink("Registers:");
    std::snprintf(g_text, sizeof g_text,
                  "RAX:%016llX RBX:%016llX RCX:%016llX RDX:%016llX RSI:%016llX RDI:%016llX",
                  c.Rax, c.Rbx, c.Rcx, c.Rdx, c.Rsi, c.Rdi);
    sink(g_text);
    std::snprintf(g_text, sizeof g_text, "R8:%016llX R9:%016llX R10:%016llX R11:%016llX", c.R8,
                  c.R9, c.R10, c.R11);
    sink(g_text);
    std::snprintf(g_text, sizeof g_text, "R12:%016llX R13:%016llX R14:%016llX R15:%016llX", c.R12,
                  c.R13, c.R14, c.R15);
    sink(g_text);
    std::snprintf(g_text, sizeof g_text, "CS:RIP:%04X:%016llX", c.SegCs, c.Rip);
    sink(g_text);
    std::snprintf(g_text, sizeof g_text, "SS:RSP:%04X:%016llX  RBP:%016llX", c.SegSs, c.Rsp, c.Rbp);
    sink(g_text);
    std::snprintf(g_text, sizeof g_text, "DS:%04X  ES:%04X  FS:%04X  GS:%04X", c.SegDs, c.SegEs,
                  c.SegFs, c.SegGs);
    sink(g_text);
    std::snprintf(g_text, sizeof g_text, "Flags:%08lX", static_cast<unsigned long>(c.EFlags));
    sink(g_text);
    int count = WalkWinStack(c, g_frames, kMaxFrames);
    Listing(g_frames, count, sink);
    sink(kSeparator);
}

void WriteWinThreadStack(uint32_t threadId, const uint64_t* frames, int count, CrashLineSink sink) {
    std::snprintf(g_text, sizeof g_text, "Thread %u Stack:", threadId);
    sink(g_text);
    Listing(frames, count, sink);
    sink(kSeparator);
}

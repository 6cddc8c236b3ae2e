// The minidump file format: the documented MINIDUMP_* structures (4-byte packed, as the format
// lays them out) and the constants of the streams this writer uses.
#pragma once

#include <cstddef>
#include <cstdint>

namespace HY_OS {
namespace minidump {

// The documented minidump structures, 4-byte packed as the format lays them out.
#pragma pack(push, 4)
struct MdLocation {
    uint32_t dataSize;
    uint32_t rva;
};
struct MdMemoryDescriptor {
    uint64_t start;
    MdLocation memory;
};
struct MdHeader {
    uint32_t signature;
    uint32_t version;
    uint32_t streamCount;
    uint32_t streamDirectoryRva;
    uint32_t checkSum;
    uint32_t timeDateStamp;
    uint64_t flags;
};
struct MdDirectory {
    uint32_t streamType;
    MdLocation location;
};
struct MdSystemInfo {
    uint16_t processorArchitecture;
    uint16_t processorLevel;
    uint16_t processorRevision;
    uint8_t numberOfProcessors;
    uint8_t productType;
    uint32_t majorVersion;
    uint32_t minorVersion;
    uint32_t buildNumber;
    uint32_t platformId;
    uint32_t csdVersionRva;
    uint16_t suiteMask;
    uint16_t reserved2;
    uint32_t cpu[6];
};
struct MdThread {
    uint32_t threadId;
    uint32_t suspendCount;
    uint32_t priorityClass;
    uint32_t priority;
    uint64_t teb;
    MdMemoryDescriptor stack;
    MdLocation context;
};
struct MdModule {
    uint64_t baseOfImage;
    uint32_t sizeOfImage;
    uint32_t checkSum;
    uint32_t timeDateStamp;
    uint32_t moduleNameRva;
    uint32_t versionInfo[13];
    MdLocation cvRecord;
    MdLocation miscRecord;
    uint64_t reserved0;
    uint64_t reserved1;
};
struct MdException {
    uint32_t threadId;
    uint32_t alignment;
    uint32_t exceptionCode;
    uint32_t exceptionFlags;
    uint64_t exceptionRecord;
    uint64_t exceptionAddress;
    uint32_t numberParameters;
    uint32_t unusedAlignment;
    uint64_t exceptionInformation[15];
    MdLocation threadContext;
};
struct MdMiscInfo {
    uint32_t sizeOfInfo;
    uint32_t flags1;
    uint32_t processId;
    uint32_t processCreateTime;
    uint32_t processUserTime;
    uint32_t processKernelTime;
};
#pragma pack(pop)

// The x86-64 thread context (CONTEXT_AMD64).
struct MdContextAmd64 {
    uint64_t home[6];
    uint32_t contextFlags;
    uint32_t mxCsr;
    uint16_t cs, ds, es, fs, gs, ss;
    uint32_t eflags;
    uint64_t dr[6];
    uint64_t rax, rcx, rdx, rbx, rsp, rbp, rsi, rdi;
    uint64_t r8, r9, r10, r11, r12, r13, r14, r15;
    uint64_t rip;
    uint8_t floatSave[512];  // the FXSAVE area
    uint8_t vectorRegisters[26 * 16];
    uint64_t vectorControl, debugControl;
    uint64_t lastBranchToRip, lastBranchFromRip, lastExceptionToRip, lastExceptionFromRip;
};

static_assert(sizeof(MdHeader) == 32);
static_assert(sizeof(MdDirectory) == 12);
static_assert(sizeof(MdSystemInfo) == 56);
static_assert(sizeof(MdThread) == 48);
static_assert(sizeof(MdModule) == 108);
static_assert(sizeof(MdException) == 168);
static_assert(sizeof(MdContextAmd64) == 1232);
static_assert(offsetof(MdContextAmd64, rax) == 120 && offsetof(MdContextAmd64, rip) == 248);

constexpr uint32_t kSignature = 0x504D444D;  // "MDMP"
constexpr uint32_t kVersion = 0xA793;
constexpr uint32_t kThreadListStream = 3;
constexpr uint32_t kModuleListStream = 4;
constexpr uint32_t kMemoryListStream = 5;
constexpr uint32_t kExceptionStream = 6;
constexpr uint32_t kSystemInfoStream = 7;
constexpr uint32_t kMiscInfoStream = 15;
constexpr uint32_t kMiscProcessId = 1;
constexpr uint32_t kLinuxMapsStream = 0x47670009;
constexpr uint16_t kArchitectureAmd64 = 9;
constexpr uint32_t kPlatformLinux = 0x8201;
constexpr uint32_t kContextAmd64 = 0x00100000;
constexpr uint32_t kContextFull = kContextAmd64 | 0x1 | 0x2 | 0x4;  // control, integer, segments
constexpr uint32_t kContextFloat = kContextAmd64 | 0x8;

}  // namespace minidump
}  // namespace HY_OS

#include "OsMiniDump.h"

#include <elf.h>
#include <unistd.h>
#include <ucontext.h>

#include <cerrno>
#include <cstddef>
#include <cstring>
#include <new>

#include "OsMemoryMap.h"
#include "OsSysCalls.h"
#include "posix/MiniDumpFormat.h"

namespace HY_OS {

namespace {

using namespace minidump;

constexpr uint32_t kBuildIdSignature = 0x4270454C;  // "LEpB": an ELF build id follows
constexpr uint32_t kMaxBuildId = 64;
// Stack memory kept per thread: enough for every frame a debugger needs near the fault.
constexpr uint64_t kStackLimit = 512 * 1024;
constexpr uint64_t kRedZone = 128;
// Relative addresses are 32 bits wide; a full-memory dump stops adding mappings well before.
constexpr uint64_t kMemoryBudget = 3ull * 1024 * 1024 * 1024;
constexpr int kMaxRanges = 4096;
const char kCsdVersion[] = "Linux";

struct Range {
    uint64_t start, size;
    uint32_t rva;
};

Range g_ranges[kMaxRanges];
int g_rangeCount = 0;
uint8_t g_buildIds[1024][kMaxBuildId];
uint32_t g_buildIdSize[1024];
MdContextAmd64 g_context;

// Buffered sequential writer over the seam.
class DumpWriter {
public:
    explicit DumpWriter(int fd) : m_fd(fd) {}
    bool Put(const void* data, size_t size) {
        const auto* bytes = static_cast<const uint8_t*>(data);
        while (size > 0) {
            size_t room = sizeof m_buffer - m_used;
            size_t take = size < room ? size : room;
            std::memcpy(m_buffer + m_used, bytes, take);
            m_used += take;
            bytes += take;
            size -= take;
            m_written += take;
            if (m_used == sizeof m_buffer && !Flush()) return false;
        }
        return true;
    }
    bool PutZeros(size_t size) {
        static const uint8_t zeros[4096] = {};
        while (size > 0) {
            size_t take = size < sizeof zeros ? size : sizeof zeros;
            if (!Put(zeros, take)) return false;
            size -= take;
        }
        return true;
    }
    // Copies memory of this process; unreadable pages become zeros.
    bool PutMemory(uint64_t address, uint64_t size) {
        uint8_t page[4096];
        while (size > 0) {
            uint64_t inPage = 4096 - (address & 4095);
            size_t take = static_cast<size_t>(size < inPage ? size : inPage);
            if (!SafeRead(address, page, take)) std::memset(page, 0, take);
            if (!Put(page, take)) return false;
            address += take;
            size -= take;
        }
        return true;
    }
    bool Flush() {
        size_t done = 0;
        while (done < m_used) {
            int64_t n = SysCalls().WriteFile(m_fd, m_buffer + done, m_used - done);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                if (n == 0) errno = ENOSPC;
                m_failed = true;
                return false;
            }
            done += static_cast<size_t>(n);
        }
        m_used = 0;
        return true;
    }
    uint64_t Written() const { return m_written; }
    bool Failed() const { return m_failed; }

private:
    int m_fd;
    uint8_t m_buffer[64 * 1024];
    size_t m_used = 0;
    uint64_t m_written = 0;
    bool m_failed = false;
};

// The writer's buffer is large; it lives in static storage, not on the signal stack.
alignas(DumpWriter) unsigned char g_writerStorage[sizeof(DumpWriter)];

size_t StringLength(const char* text) {
    size_t n = 0;
    while (text[n] != '\0') ++n;
    return n;
}

// A MINIDUMP_STRING: byte length, then UTF-16 units and a terminating zero unit.
uint32_t StringSize(const char* text) { return 4 + 2 * static_cast<uint32_t>(StringLength(text)) + 2; }

bool PutString(DumpWriter& out, const char* text) {
    uint32_t bytes = 2 * static_cast<uint32_t>(StringLength(text));
    if (!out.Put(&bytes, 4)) return false;
    for (size_t i = 0; text[i] != '\0'; ++i) {
        uint16_t unit = static_cast<unsigned char>(text[i]);
        if (!out.Put(&unit, 2)) return false;
    }
    uint16_t zero = 0;
    return out.Put(&zero, 2);
}

// Finds the GNU build id note of the ELF image mapped at `base`; 0 when there is none.
uint32_t ReadBuildId(uint64_t base, uint8_t* out) {
    Elf64_Ehdr header;
    if (!SafeRead(base, &header, sizeof header) || std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0 ||
        header.e_ident[EI_CLASS] != ELFCLASS64 || header.e_phentsize != sizeof(Elf64_Phdr)) {
        return 0;
    }
    // The load bias is the base minus the first loadable segment's (page-aligned) address.
    uint64_t firstLoad = UINT64_MAX;
    for (unsigned i = 0; i < header.e_phnum && i < 64; ++i) {
        Elf64_Phdr program;
        if (!SafeRead(base + header.e_phoff + i * sizeof program, &program, sizeof program)) return 0;
        if (program.p_type == PT_LOAD && program.p_vaddr < firstLoad) firstLoad = program.p_vaddr;
    }
    if (firstLoad == UINT64_MAX) return 0;
    uint64_t bias = base - (firstLoad & ~uint64_t{4095});
    for (unsigned i = 0; i < header.e_phnum && i < 64; ++i) {
        Elf64_Phdr program;
        if (!SafeRead(base + header.e_phoff + i * sizeof program, &program, sizeof program)) return 0;
        if (program.p_type != PT_NOTE) continue;
        uint64_t at = bias + program.p_vaddr;
        uint64_t end = at + program.p_memsz;
        while (at + sizeof(Elf64_Nhdr) <= end) {
            Elf64_Nhdr note;
            if (!SafeRead(at, &note, sizeof note)) break;
            uint64_t name = at + sizeof note;
            uint64_t desc = name + ((note.n_namesz + 3) & ~3u);
            char owner[4] = {};
            if (note.n_type == NT_GNU_BUILD_ID && note.n_namesz == 4 && SafeRead(name, owner, 4) &&
                std::memcmp(owner, "GNU", 4) == 0 && note.n_descsz <= kMaxBuildId &&
                SafeRead(desc, out, note.n_descsz)) {
                return note.n_descsz;
            }
            at = desc + ((note.n_descsz + 3) & ~3u);
        }
    }
    return 0;
}

void FillContext(const CrashThread& thread, MdContextAmd64& out) {
    std::memset(&out, 0, sizeof out);
    const CpuContext& c = thread.context;
    out.contextFlags = kContextFull;
    out.cs = c.cs;
    out.ds = c.ds;
    out.es = c.es;
    out.fs = c.fs;
    out.gs = c.gs;
    out.ss = c.ss;
    out.eflags = static_cast<uint32_t>(c.flags);
    out.rax = c.rax;
    out.rcx = c.rcx;
    out.rdx = c.rdx;
    out.rbx = c.rbx;
    out.rsp = c.rsp;
    out.rbp = c.rbp;
    out.rsi = c.rsi;
    out.rdi = c.rdi;
    out.r8 = c.r8;
    out.r9 = c.r9;
    out.r10 = c.r10;
    out.r11 = c.r11;
    out.r12 = c.r12;
    out.r13 = c.r13;
    out.r14 = c.r14;
    out.r15 = c.r15;
    out.rip = c.rip;
    // The signal frame's FXSAVE area has the layout the dump's float save area has.
    const auto* uc = static_cast<const ucontext_t*>(thread.nativeContext);
    if (uc != nullptr && uc->uc_mcontext.fpregs != nullptr &&
        SafeRead(reinterpret_cast<uint64_t>(uc->uc_mcontext.fpregs), out.floatSave,
                 sizeof out.floatSave)) {
        out.contextFlags |= kContextFloat;
        std::memcpy(&out.mxCsr, out.floatSave + 24, 4);
    }
}

// The stack memory kept for a thread: from just below its stack pointer up to the top of the
// mapping holding it, at most kStackLimit bytes.
bool StackRange(const CrashThread& thread, uint64_t& start, uint64_t& size) {
    uint64_t sp = thread.context.rsp;
    if (sp == 0) return false;
    const MemoryMapping* mapping = FindMapping(sp);
    if (mapping == nullptr) {
        // A stack that ran out: the pointer sits in the guard area just below the stack.
        for (int i = 0; i < MappingCount() && mapping == nullptr; ++i) {
            const MemoryMapping& above = Mapping(i);
            if (above.start > sp && above.start - sp <= 64 * 1024 && above.readable) mapping = &above;
        }
    }
    if (mapping == nullptr) return false;
    start = sp < mapping->start + kRedZone ? mapping->start : sp - kRedZone;
    uint64_t top = mapping->end;
    if (thread.stackHigh != 0 && thread.stackHigh > start && thread.stackHigh < top) top = thread.stackHigh;
    size = top - start;
    if (size > kStackLimit) size = kStackLimit;
    return size > 0;
}

bool Overlaps(uint64_t start, uint64_t size) {
    for (int i = 0; i < g_rangeCount; ++i) {
        if (start < g_ranges[i].start + g_ranges[i].size && g_ranges[i].start < start + size) return true;
    }
    return false;
}

}  // namespace

bool WriteMiniDump(int fd, const MiniDumpRequest& request) {
    ReadMemoryMap();
    const int threadCount = request.threadCount;
    const int moduleCount = ModuleCount() < 1024 ? ModuleCount() : 1024;
    size_t mapsSize = 0;
    const char* mapsText = MemoryMapText(&mapsSize);

    // Memory: each thread's stack, then (full memory) every other writable mapping.
    g_rangeCount = 0;
    int stackRange[kMaxCrashThreads];
    uint64_t budget = 0;
    for (int t = 0; t < threadCount && t < kMaxCrashThreads; ++t) {
        stackRange[t] = -1;
        uint64_t start = 0, size = 0;
        if (!StackRange(request.threads[t], start, size) || Overlaps(start, size)) continue;
        stackRange[t] = g_rangeCount;
        g_ranges[g_rangeCount++] = Range{start, size, 0};
        budget += size;
    }
    if (request.fullMemory) {
        for (int i = 0; i < MappingCount() && g_rangeCount < kMaxRanges; ++i) {
            const MemoryMapping& mapping = Mapping(i);
            if (!mapping.readable || !mapping.writable) continue;
            uint64_t start = mapping.start, size = mapping.end - mapping.start;
            if (Overlaps(start, size) || size > 0xFFFFFFFFull || budget + size > kMemoryBudget) continue;
            g_ranges[g_rangeCount++] = Range{start, size, 0};
            budget += size;
        }
    }

    // Layout: every stream's place is known before the first byte is written.
    const uint32_t streamCount = 7;
    uint32_t at = sizeof(MdHeader) + streamCount * sizeof(MdDirectory);
    const uint32_t systemInfoRva = at;
    at += sizeof(MdSystemInfo);
    const uint32_t csdRva = at;
    at += StringSize(kCsdVersion);
    const uint32_t miscInfoRva = at;
    at += sizeof(MdMiscInfo);
    const uint32_t threadListRva = at;
    const uint32_t threadListSize = 4 + threadCount * sizeof(MdThread);
    at += threadListSize;
    const uint32_t contextsRva = at;
    at += threadCount * sizeof(MdContextAmd64);
    const uint32_t moduleListRva = at;
    const uint32_t moduleListSize = 4 + moduleCount * sizeof(MdModule);
    at += moduleListSize;
    const uint32_t namesRva = at;
    for (int m = 0; m < moduleCount; ++m) at += StringSize(Module(m).path);
    const uint32_t buildIdsRva = at;
    for (int m = 0; m < moduleCount; ++m) {
        g_buildIdSize[m] = ReadBuildId(Module(m).base, g_buildIds[m]);
        if (g_buildIdSize[m] > 0) at += 4 + g_buildIdSize[m];
    }
    const uint32_t exceptionRva = at;
    at += sizeof(MdException);
    const uint32_t mapsRva = at;
    at += static_cast<uint32_t>(mapsSize);
    const uint32_t memoryListRva = at;
    const uint32_t memoryListSize = 4 + g_rangeCount * sizeof(MdMemoryDescriptor);
    at += memoryListSize;
    for (int r = 0; r < g_rangeCount; ++r) {
        g_ranges[r].rva = at;
        at += static_cast<uint32_t>(g_ranges[r].size);
    }

    auto* out = new (g_writerStorage) DumpWriter(fd);

    MdHeader header{};
    header.signature = kSignature;
    header.version = kVersion;
    header.streamCount = streamCount;
    header.streamDirectoryRva = sizeof(MdHeader);
    header.timeDateStamp = 0;
    out->Put(&header, sizeof header);
    const MdDirectory directory[streamCount] = {
        {kSystemInfoStream, {sizeof(MdSystemInfo), systemInfoRva}},
        {kMiscInfoStream, {sizeof(MdMiscInfo), miscInfoRva}},
        {kThreadListStream, {threadListSize, threadListRva}},
        {kModuleListStream, {moduleListSize, moduleListRva}},
        {kExceptionStream, {sizeof(MdException), exceptionRva}},
        {kLinuxMapsStream, {static_cast<uint32_t>(mapsSize), mapsRva}},
        {kMemoryListStream, {memoryListSize, memoryListRva}},
    };
    out->Put(directory, sizeof directory);

    MdSystemInfo system{};
    system.processorArchitecture = kArchitectureAmd64;
    system.platformId = kPlatformLinux;
    system.csdVersionRva = csdRva;
    out->Put(&system, sizeof system);
    PutString(*out, kCsdVersion);
    MdMiscInfo misc{};
    misc.sizeOfInfo = sizeof misc;
    misc.flags1 = kMiscProcessId;
    misc.processId = static_cast<uint32_t>(::getpid());
    out->Put(&misc, sizeof misc);

    uint32_t count = static_cast<uint32_t>(threadCount);
    out->Put(&count, 4);
    for (int t = 0; t < threadCount; ++t) {
        MdThread thread{};
        thread.threadId = request.threads[t].threadId;
        if (t < kMaxCrashThreads && stackRange[t] >= 0) {
            const Range& range = g_ranges[stackRange[t]];
            thread.stack = {range.start, {static_cast<uint32_t>(range.size), range.rva}};
        }
        thread.context = {sizeof(MdContextAmd64),
                          contextsRva + static_cast<uint32_t>(t * sizeof(MdContextAmd64))};
        out->Put(&thread, sizeof thread);
    }
    for (int t = 0; t < threadCount; ++t) {
        FillContext(request.threads[t], g_context);
        out->Put(&g_context, sizeof g_context);
    }

    count = static_cast<uint32_t>(moduleCount);
    out->Put(&count, 4);
    uint32_t nameAt = namesRva;
    uint32_t buildIdAt = buildIdsRva;
    for (int m = 0; m < moduleCount; ++m) {
        const MappedModule& module = Module(m);
        MdModule entry{};
        entry.baseOfImage = module.base;
        uint64_t size = module.end - module.base;
        entry.sizeOfImage = size > 0xFFFFFFFFull ? 0xFFFFFFFFu : static_cast<uint32_t>(size);
        entry.moduleNameRva = nameAt;
        nameAt += StringSize(module.path);
        if (g_buildIdSize[m] > 0) {
            entry.cvRecord = {4 + g_buildIdSize[m], buildIdAt};
            buildIdAt += 4 + g_buildIdSize[m];
        }
        out->Put(&entry, sizeof entry);
    }
    for (int m = 0; m < moduleCount; ++m) PutString(*out, Module(m).path);
    for (int m = 0; m < moduleCount; ++m) {
        if (g_buildIdSize[m] == 0) continue;
        out->Put(&kBuildIdSignature, 4);
        out->Put(g_buildIds[m], g_buildIdSize[m]);
    }

    // For a Linux dump the exception code is the signal number and the flags its si_code, as
    // debuggers reading such dumps expect.
    MdException exception{};
    exception.threadId = request.crash->threadId;
    exception.exceptionCode = static_cast<uint32_t>(request.crash->signal);
    exception.exceptionFlags = static_cast<uint32_t>(request.crash->code);
    exception.exceptionAddress = request.crash->faultAddress;
    exception.threadContext = {sizeof(MdContextAmd64), contextsRva};
    out->Put(&exception, sizeof exception);
    out->Put(mapsText, mapsSize);

    count = static_cast<uint32_t>(g_rangeCount);
    out->Put(&count, 4);
    for (int r = 0; r < g_rangeCount; ++r) {
        MdMemoryDescriptor descriptor{g_ranges[r].start,
                                      {static_cast<uint32_t>(g_ranges[r].size), g_ranges[r].rva}};
        out->Put(&descriptor, sizeof descriptor);
    }
    for (int r = 0; r < g_rangeCount && !out->Failed(); ++r) {
        out->PutMemory(g_ranges[r].start, g_ranges[r].size);
    }
    bool ok = !out->Failed() && out->Flush();
    out->~DumpWriter();
    return ok;
}

}  // namespace HY_OS

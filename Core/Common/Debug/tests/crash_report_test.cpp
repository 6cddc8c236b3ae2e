// The crash handler's parts inside the test process: the text builder, exception names, the
// stack listing over good and broken frame chains, dump names, the removal of old dumps, the
// minidump writer's structure, and stopping and resuming a registered thread.
#include "CrashReport.h"

#include <gtest/gtest.h>
#include <ucontext.h>

#include <atomic>
#include <csignal>
#include <cstring>
#include <fstream>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "CrashDumpFile.h"
#include "OsCrash.h"
#include "OsFile.h"
#include "OsMemoryMap.h"
#include "OsMiniDump.h"
#include "OsSysCalls.h"
#include "SafeText.h"
#include "TempDir.h"

namespace {

std::vector<std::string> g_lines;
void Collect(const char* text) { g_lines.emplace_back(text); }

TEST(SafeTextTest, FormatsLikeTheReportFormatsAndCutsWhatDoesNotFit) {
    SafeText text;
    text.Hex(0xB, 8).Char(' ').Hex(0x1234ABCDull, 4).Char(' ').Dec(45, 4, '0').Char('|');
    text.Dec(986273636, 10).Char('|').Padded("CORE_SEER", 15).Char('|').Padded("much-too-long", 4);
    EXPECT_STREQ(text.c_str(), "0000000B 1234ABCD 0045| 986273636|CORE_SEER      |much-too-long");
    text.Clear();
    text.Hex(0, 16).Char(' ').Dec(0);
    EXPECT_STREQ(text.c_str(), "0000000000000000 0");
    text.Clear();
    text.Repeat('x', static_cast<int>(SafeText::kCapacity) + 10);
    EXPECT_EQ(text.size(), SafeText::kCapacity);
    char small[4];
    SafeCopy(small, sizeof small, "abcdef");
    EXPECT_STREQ(small, "abc");
}

TEST(CrashExceptionNameTest, SignalsTakeTheMatchingExceptionNameOrTheirOwn) {
    EXPECT_STREQ(CrashExceptionName(SIGSEGV, SEGV_MAPERR, false, false), "ACCESS_VIOLATION");
    EXPECT_STREQ(CrashExceptionName(SIGSEGV, SEGV_MAPERR, true, false), "STACK_OVERFLOW");
    EXPECT_STREQ(CrashExceptionName(SIGFPE, FPE_INTDIV, false, true), "INT_DIVIDE_BY_ZERO");
    EXPECT_STREQ(CrashExceptionName(SIGFPE, FPE_FLTDIV, false, false), "FLT_DIVIDE_BY_ZERO");
    EXPECT_STREQ(CrashExceptionName(SIGILL, ILL_ILLOPC, false, false), "ILLEGAL_INSTRUCTION");
    EXPECT_STREQ(CrashExceptionName(SIGILL, ILL_PRVOPC, false, false), "PRIV_INSTRUCTION");
    EXPECT_STREQ(CrashExceptionName(SIGTRAP, TRAP_BRKPT, false, false), "BREAKPOINT");
    EXPECT_STREQ(CrashExceptionName(SIGBUS, BUS_ADRALN, false, false), "DATATYPE_MISALIGNMENT");
    EXPECT_STREQ(CrashExceptionName(SIGBUS, BUS_ADRERR, false, false), "IN_PAGE_ERROR");
    EXPECT_STREQ(CrashExceptionName(SIGABRT, SI_TKILL, false, false), "SIGABRT");
}

// A code address of this test program, to stand in for return addresses.
__attribute__((noinline)) void SomeFunction() { asm volatile(""); }

class StackListingTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_GT(HY_OS::ReadMemoryMap(), 0);
        g_lines.clear();
    }
};

TEST_F(StackListingTest, FollowsTheFramePointerChainUpTheStack) {
    // Three frames laid out on this thread's stack: saved frame pointer, return address.
    alignas(16) uint64_t frames[6];
    uint64_t code = reinterpret_cast<uint64_t>(&SomeFunction);
    frames[0] = reinterpret_cast<uint64_t>(&frames[2]);
    frames[1] = code + 1;
    frames[2] = reinterpret_cast<uint64_t>(&frames[4]);
    frames[3] = code + 2;
    frames[4] = 0;  // the chain ends: the next frame would not lie higher
    frames[5] = code + 3;
    HY_OS::CpuContext context{};
    context.rip = code;
    context.rsp = reinterpret_cast<uint64_t>(&frames[0]);
    context.rbp = reinterpret_cast<uint64_t>(&frames[0]);
    WriteStackListing(context, nullptr, &Collect);
    ASSERT_EQ(g_lines.size(), 5u);
    EXPECT_EQ(g_lines[0], "Address           Logical addr          Module");
    std::regex inModule("[0-9A-F]{16}  [0-9A-F]{4}:[0-9A-F]{16} .*hy_crash_unit_tests");
    for (size_t i = 1; i < g_lines.size(); ++i) EXPECT_TRUE(std::regex_match(g_lines[i], inModule)) << g_lines[i];
    SafeText expected;
    expected.Hex(code + 2, 16);
    EXPECT_EQ(g_lines[3].substr(0, 16), expected.c_str());
}

TEST_F(StackListingTest, StopsAtAFramePointerThatIsUnmappedOffTheStackOrGoesDown) {
    alignas(16) uint64_t frames[4];
    uint64_t code = reinterpret_cast<uint64_t>(&SomeFunction);
    HY_OS::CpuContext context{};
    context.rip = code;
    context.rsp = reinterpret_cast<uint64_t>(&frames[0]);
    for (uint64_t rbp : {uint64_t{0x00000dead0000000}, uint64_t{0}, context.rsp + 3}) {
        g_lines.clear();
        context.rbp = rbp;
        WriteStackListing(context, nullptr, &Collect);
        EXPECT_EQ(g_lines.size(), 2u) << std::hex << rbp;
    }
    // A frame that points at itself is listed once, not forever.
    frames[0] = reinterpret_cast<uint64_t>(&frames[0]);
    frames[1] = code;
    context.rbp = reinterpret_cast<uint64_t>(&frames[0]);
    g_lines.clear();
    WriteStackListing(context, nullptr, &Collect);
    EXPECT_EQ(g_lines.size(), 3u);
}

TEST_F(StackListingTest, AnAddressInNoModuleShowsQuestionMarks) {
    HY_OS::CpuContext context{};
    context.rip = 0x10;
    WriteStackListing(context, nullptr, &Collect);
    ASSERT_EQ(g_lines.size(), 2u);
    EXPECT_EQ(g_lines[1], "0000000000000010  ????:???????????????? ");
}

TEST(CrashReportTest, TheReportHasTheExceptionRegistersAndStackBetweenSeparators) {
    HY_OS::ReadMemoryMap();
    HY_OS::CrashInfo info;
    info.signal = SIGSEGV;
    info.code = SEGV_MAPERR;
    info.faultAddress = 0;
    info.context.rip = reinterpret_cast<uint64_t>(&SomeFunction);
    info.context.rax = 0x1122334455667788ull;
    info.context.cs = 0x33;
    g_lines.clear();
    WriteCrashReport(info, &Collect);
    ASSERT_GE(g_lines.size(), 14u);
    EXPECT_EQ(g_lines.front(), kCrashSeparator);
    EXPECT_EQ(g_lines.back(), kCrashSeparator);
    EXPECT_EQ(g_lines[1], "Exception code: 0000000B ACCESS_VIOLATION");
    EXPECT_EQ(g_lines[2], "Fault address:  0000000000000000 ??:???????????????? ");
    EXPECT_EQ(g_lines[4].substr(0, 20), "RAX:1122334455667788");
    EXPECT_TRUE(std::regex_match(g_lines[7], std::regex("CS:RIP:0033:[0-9A-F]{16}")));
}

TEST(CrashDumpFileTest, NamesFollowTheSettings) {
    char path[4096];
    CrashDumpNaming naming;
    naming.directory = "dumps";
    naming.reportId = "R42";
    ASSERT_TRUE(CrashDumpPath(naming, path, sizeof path));
    EXPECT_STREQ(path, "dumps/hy_crash_unit_tests_R42.dmp");
    naming.directory = "dumps/";
    ASSERT_TRUE(CrashDumpPath(naming, path, sizeof path));
    EXPECT_STREQ(path, "dumps/hy_crash_unit_tests_R42.dmp");
    naming.directory = "";
    naming.timeStamped = true;
    ASSERT_TRUE(CrashDumpPath(naming, path, sizeof path));
    EXPECT_TRUE(std::regex_match(path, std::regex("hy_crash_unit_tests_R42\\.\\d{6}-\\d{4}\\.dmp"))) << path;
    char tiny[8];
    EXPECT_FALSE(CrashDumpPath(naming, tiny, sizeof tiny));
}

TEST(CrashDumpFileTest, OldDumpsAreDeletedAndNothingElse) {
    hytest::TempDir dir;
    for (const char* name : {"a.dmp", "b.dmp", "notes.txt", "dmp"}) {
        ASSERT_TRUE(HY_OS::WriteFileAtomic(dir / name, "x"));
    }
    DeleteOldDumps(dir.Path().c_str());
    EXPECT_FALSE(HY_OS::FileExists(dir / "a.dmp"));
    EXPECT_FALSE(HY_OS::FileExists(dir / "b.dmp"));
    EXPECT_TRUE(HY_OS::FileExists(dir / "notes.txt"));
    EXPECT_TRUE(HY_OS::FileExists(dir / "dmp"));
    DeleteOldDumps((dir / "missing").c_str());  // nothing to do, nothing breaks
}

struct Stream {
    uint32_t type, size, rva;
};

std::vector<Stream> Streams(const std::string& dump) {
    std::vector<Stream> streams;
    uint32_t header[4];
    if (dump.size() < sizeof header) return streams;
    std::memcpy(header, dump.data(), sizeof header);
    if (header[0] != 0x504D444D) return streams;
    for (uint32_t i = 0; i < header[2]; ++i) {
        Stream s{};
        std::memcpy(&s, dump.data() + header[3] + 12 * i, 12);
        streams.push_back(s);
    }
    return streams;
}

class MiniDumpTest : public ::testing::Test {
protected:
    bool Write(const std::string& path, bool fullMemory) {
        ucontext_t uc;
        getcontext(&uc);
        m_crash.signal = SIGSEGV;
        m_crash.threadId = HY_OS::CrashCurrentThreadId();
        m_crash.context.rsp = static_cast<uint64_t>(uc.uc_mcontext.gregs[REG_RSP]);
        m_crash.context.rip = static_cast<uint64_t>(uc.uc_mcontext.gregs[REG_RIP]);
        m_thread.threadId = m_crash.threadId;
        m_thread.context = m_crash.context;
        HY_OS::MiniDumpRequest request;
        request.crash = &m_crash;
        request.threads = &m_thread;
        request.threadCount = 1;
        request.fullMemory = fullMemory;
        HY_OS::File file = HY_OS::File::Open(path, HY_OS::FileMode::CreateWrite);
        return file.IsOpen() && HY_OS::WriteMiniDump(file.Descriptor(), request);
    }
    HY_OS::CrashInfo m_crash;
    HY_OS::CrashThread m_thread;
};

TEST_F(MiniDumpTest, HoldsTheStreamsADebuggerNeeds) {
    hytest::TempDir dir;
    ASSERT_TRUE(Write(dir / "plain.dmp", false));
    std::string dump;
    ASSERT_TRUE(HY_OS::ReadWholeFile(dir / "plain.dmp", dump));
    std::vector<uint32_t> types;
    for (const Stream& s : Streams(dump)) {
        types.push_back(s.type);
        ASSERT_LE(uint64_t{s.rva} + s.size, dump.size());
        if (s.type == 3) {  // thread list: one thread, our id, with its stack memory
            uint32_t count, id;
            uint64_t stackStart;
            std::memcpy(&count, dump.data() + s.rva, 4);
            std::memcpy(&id, dump.data() + s.rva + 4, 4);
            std::memcpy(&stackStart, dump.data() + s.rva + 4 + 24, 8);
            EXPECT_EQ(count, 1u);
            EXPECT_EQ(id, m_crash.threadId);
            EXPECT_LE(stackStart, m_crash.context.rsp);
        }
        if (s.type == 4) {  // module list: this program is among the modules
            uint32_t count;
            std::memcpy(&count, dump.data() + s.rva, 4);
            EXPECT_GT(count, 1u);
        }
        if (s.type == 6) {  // exception: the signal number is the code
            uint32_t code;
            std::memcpy(&code, dump.data() + s.rva + 8, 4);
            EXPECT_EQ(code, static_cast<uint32_t>(SIGSEGV));
        }
    }
    EXPECT_EQ(types, (std::vector<uint32_t>{7, 15, 3, 4, 6, 0x47670009, 5}));

    ASSERT_TRUE(Write(dir / "full.dmp", true));
    EXPECT_GT(HY_OS::FileLength(dir / "full.dmp"), HY_OS::FileLength(dir / "plain.dmp"));
}

class FullDisk : public HY_OS::OsSysCalls {
public:
    int64_t WriteFile(int, const void*, size_t) override {
        errno = ENOSPC;
        return -1;
    }
};

TEST_F(MiniDumpTest, AFullDiskIsAFailure) {
    hytest::TempDir dir;
    FullDisk full;
    HY_OS::ScopedSysCalls install(full);
    EXPECT_FALSE(Write(dir / "full.dmp", false));
}

void PassOn(const HY_OS::CrashInfo& info) { HY_OS::PassOnCrash(info); }

TEST(UnwindTest, WalksThisThreadAndSurvivesAStackPointerIntoUnmappedMemory) {
    ASSERT_TRUE(HY_OS::InstallCrashSignals(&PassOn));
    ucontext_t uc;
    getcontext(&uc);
    uint64_t frames[kMaxStackFrames];
    // This very function, its caller (the test framework) and further up.
    EXPECT_GE(HY_OS::UnwindStack(&uc, frames, kMaxStackFrames), 3);

    // The return address would be read from unmapped memory: the walk ends there.
    uc.uc_mcontext.gregs[REG_RIP] = static_cast<greg_t>(reinterpret_cast<uintptr_t>(&SomeFunction));
    uc.uc_mcontext.gregs[REG_RSP] = static_cast<greg_t>(0x00000dead0000000);
    uc.uc_mcontext.gregs[REG_RBP] = static_cast<greg_t>(0x00000dead0000000);
    int count = HY_OS::UnwindStack(&uc, frames, kMaxStackFrames);
    EXPECT_GE(count, 1);
    EXPECT_LE(count, 2);
    EXPECT_EQ(frames[0], reinterpret_cast<uint64_t>(&SomeFunction));
    HY_OS::UninstallCrashSignals();
}

TEST(CrashThreadRegistryTest, ARegisteredThreadIsStoppedWithItsRegistersAndRunsOnWhenResumed) {
    ASSERT_TRUE(HY_OS::InstallCrashSignals(&PassOn));
    std::atomic<bool> registered{false}, quit{false};
    std::atomic<uint64_t> spins{0};
    std::thread worker([&] {
        HY_OS::RegisterCrashThread("Spinner");
        registered = true;
        while (!quit) spins.fetch_add(1);
        HY_OS::UnregisterCrashThread();
    });
    while (!registered) std::this_thread::yield();

    std::vector<HY_OS::CrashThread> threads(HY_OS::kMaxCrashThreads);
    ASSERT_TRUE(HY_OS::TryLockCrashRegistry(1000));
    int count = HY_OS::StopCrashThreads(threads.data(), HY_OS::kMaxCrashThreads, 2000);
    HY_OS::CrashThread* spinner = nullptr;
    for (int i = 1; i < count; ++i)
        if (std::strcmp(threads[i].name, "Spinner") == 0) spinner = &threads[i];
    ASSERT_NE(spinner, nullptr);
    EXPECT_TRUE(spinner->stopped);
    EXPECT_NE(spinner->context.rip, 0u);
    EXPECT_GE(spinner->context.rsp, spinner->stackLow);
    EXPECT_LT(spinner->context.rsp, spinner->stackHigh);
    uint64_t stoppedAt = spins.load();
    HY_OS::CrashSleepUs(20000);
    EXPECT_EQ(spins.load(), stoppedAt);  // held: a running spinner would have counted on
    HY_OS::ResumeCrashThreads(threads.data(), count);
    HY_OS::UnlockCrashRegistry();
    while (spins.load() == stoppedAt) std::this_thread::yield();  // and runs again
    quit = true;
    worker.join();
    HY_OS::UninstallCrashSignals();
}

}  // namespace

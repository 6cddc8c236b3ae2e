// A Windows program that installs the crash handler the way the launcher does, starts a worker
// thread of the runtime, and then dies the way its first argument names. The crash tests run it
// as a child process and examine what the handler left: the dump, the report on standard error,
// the report program's run.
//
//   crash_victim_win <null|divide|raise> <dump directory> <report id> <courier program>
//                    [yes|no|default]
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "HYCrashHandler.h"
#include "OsCrash.h"
#include "OsShell.h"
#include "OsThread.h"

namespace {

int* volatile g_null = nullptr;
volatile int g_zero = 0;

bool Yes(const char*, const char*) { return true; }
bool No(const char*, const char*) { return false; }

// A runtime thread that waits for ever, so the report has another thread to list.
unsigned Idle(void*) {
    for (;;) Sleep(1000);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 5) {
        std::fprintf(stderr, "usage: crash_victim_win KIND DUMPDIR REPORTID COURIER [yes|no|default]\n");
        return 2;
    }
    std::string kind = argv[1];
    std::string answer = argc > 5 ? argv[5] : "default";
    // A box of the default question would wait for a person: it only shows its text here.
    HY_OS::SetMessageBoxesInteractive(false);
    CrashSettings settings;
    settings.dumpDirectory = argv[2];
    settings.reportId = argv[3];
    settings.reportProgram = argv[4];
    HYCrashHandler::Configure(settings);
    HYCrashHandler::Install();
    if (answer == "yes") HYCrashHandler::SetQuestionHandler(&Yes);
    if (answer == "no") HYCrashHandler::SetQuestionHandler(&No);

    HY_OS::CreateThread(&Idle, nullptr, 0, 0, nullptr);
    while (HY_OS::RegisteredCrashThreadCount() < 1) Sleep(1);
    std::fprintf(stderr, "victim: ready\n");
    std::fflush(stderr);

    if (kind == "null") *g_null = 42;
    if (kind == "divide") std::printf("%d\n", 100 / g_zero);
    if (kind == "raise") RaiseException(0xE0C0FFEE, EXCEPTION_NONCONTINUABLE, 0, nullptr);
    return 3;  // not reached for a known kind
}

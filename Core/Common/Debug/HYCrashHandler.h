// The crash handler. When a thread of the process dies of a fatal signal (SIGSEGV, SIGBUS,
// SIGFPE, SIGILL, SIGABRT, SIGTRAP) or of an uncaught C++ exception, it writes a minidump next to
// the program, writes the text report (exception, registers, the stack of the crashed thread
// and of every other registered thread) to the report channel "EXCEPT", and, unless a debugger
// is attached, asks the player whether to send a report; on "yes" it starts the report program
// with the dump directory and the report identifier. The process then ends with the signal.
//
// All of it runs inside the signal handler, on the thread's alternate stack: lines are made in
// static buffers and written with write(2) straight to the log files and standard error, and
// the handler's two locks (the thread registry's and the report channel's) are only tried for a
// short while, so a crash while another thread holds them cannot hang it.
#pragma once

#include <string>

struct CrashSettings {
    // Where dumps are written; empty: the current directory.
    std::string dumpDirectory;
    // Part of the dump's name and the report program's second argument.
    std::string reportId;
    // Adds every writable mapping to the dump.
    bool fullMemory = false;
    // Names dumps with the local time instead of replacing the previous ones.
    bool timeStampedNames = false;
    // Asks whether to send a report (never with a debugger attached).
    bool askToReport = true;
    // The report program; empty: "FaultCourier" in the program's directory.
    std::string reportProgram;
};

// Answers the question (caption, text): true for "yes". Called from the signal handler of the
// crashed thread after the report is written and the other threads run again.
using CrashQuestionHandler = bool (*)(const char* caption, const char* text);

namespace HYCrashHandler {

constexpr const char* kQuestionCaption = "Error";
constexpr const char* kQuestionText =
    "A problem has occurred - Do you wish you report this error to Halcyra?";
constexpr const char* kDefaultReportProgram = "FaultCourier";

// Catches fatal signals and uncaught exceptions for the whole process and gives the calling
// thread an alternate stack. Safe to call more than once (start-up calls it twice).
void Install();
bool IsInstalled();

// Replaces the settings (copied into the handler's own storage).
void Configure(const CrashSettings& settings);
CrashSettings Settings();

// Installs who is asked: the window front-end while one is up. nullptr restores the default,
// which asks on the terminal when standard input and error are one, and answers "no" when
// nobody can be asked.
void SetQuestionHandler(CrashQuestionHandler handler);
bool AskOnTerminal(const char* caption, const char* text);

// The dump file's path for the settings in force, as the next crash would name it (the time
// stamp, when used, is the current time). Signal-safe; false when the program's name is unknown.
bool DumpFilePath(char* out, size_t size);

}  // namespace HYCrashHandler

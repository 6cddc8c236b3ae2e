// What the launcher tells about the machine it runs on: memory figures, the processor's
// identification, and where a program named without a folder is found.
#pragma once

#include <cstdint>
#include <string>

namespace HY_OS {

// Memory in bytes: physical memory and the memory a process can use beyond it.
struct MemoryFigures {
    uint64_t totalPhysical = 0;
    uint64_t availablePhysical = 0;
    uint64_t totalVirtual = 0;
    uint64_t availableVirtual = 0;
};

// The machine's memory figures; false when the system does not tell them.
bool GetMemoryFigures(MemoryFigures& figures);

// The figures of a Linux "/proc/meminfo" text: virtual memory is physical memory plus swap.
// False when the text lacks the total or the available memory.
bool MemoryFiguresFromMeminfo(const std::string& meminfo, MemoryFigures& figures);

// The processor's identification in the form "x86 Family 6 Model 158 Stepping 10"; empty when
// the system does not tell it.
std::string GetProcessorIdentifier();

// The identification of the first processor of a Linux "/proc/cpuinfo" text; empty when it lacks
// the family, model or stepping.
std::string ProcessorIdentifierFromCpuInfo(const std::string& cpuinfo);

// The path of the program `name`: a name with a folder is taken as it is, a bare name is looked
// for in the folders of PATH. Empty when no runnable file of that name is found.
std::string FindProgramOnPath(const std::string& name);

// True where Windows programs (".exe") start directly; elsewhere they are started through Wine.
bool RunsWindowsProgramsDirectly();

}  // namespace HY_OS

// The process's memory map as the crash handler sees it: the mappings of /proc/self/maps, the
// modules (mapped program and library files) made of them, and where an address lies. Read and
// kept in static storage, so it can be used from a signal handler; one reader at a time.
#pragma once

#include <cstddef>
#include <cstdint>

namespace HY_OS {

struct MemoryMapping {
    uint64_t start = 0, end = 0, offset = 0;
    bool readable = false, writable = false, executable = false;
    const char* path = "";  // file path, "[stack]" and the like, or "" for anonymous memory
};

// A mapped file whose first mapping starts at file offset 0.
struct MappedModule {
    uint64_t base = 0, end = 0;
    const char* path = "";
    int firstMapping = 0, mappingCount = 0;
};

// Where an address lies: its module, the module's mapping that holds it (numbered from 1), and
// its offset from the module's base.
struct AddressLocation {
    bool inModule = false;
    const MappedModule* module = nullptr;
    unsigned segment = 0;
    uint64_t offset = 0;
    const char* region = "";  // the name of the mapping holding it when in no module
};

// Reads /proc/self/maps again; answers the number of mappings, 0 when it could not be read.
// Signal-safe.
int ReadMemoryMap();
int MappingCount();
const MemoryMapping& Mapping(int index);
int ModuleCount();
const MappedModule& Module(int index);
// The text of /proc/self/maps as last read.
const char* MemoryMapText(size_t* size);
// The mapping holding `address`, nullptr when none.
const MemoryMapping* FindMapping(uint64_t address);
AddressLocation LocateAddress(uint64_t address);

}  // namespace HY_OS

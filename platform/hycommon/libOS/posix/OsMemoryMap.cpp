#include "OsMemoryMap.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace HY_OS {

namespace {

constexpr size_t kMapTextSize = 1024 * 1024;
constexpr int kMaxMappings = 8192;
constexpr int kMaxModules = 1024;

char g_text[kMapTextSize + 1];
size_t g_textSize = 0;
// Each line's fields are cut out in place: path strings point into this copy of the text.
char g_lines[kMapTextSize + 1];
MemoryMapping g_mappings[kMaxMappings];
int g_mappingCount = 0;
MappedModule g_modules[kMaxModules];
int g_moduleCount = 0;

uint64_t ParseHex(const char*& at) {
    uint64_t value = 0;
    for (;;) {
        char c = *at;
        int digit = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
        if (digit < 0) return value;
        value = value * 16 + static_cast<uint64_t>(digit);
        ++at;
    }
}

void SkipSpaces(char*& at) {
    while (*at == ' ' || *at == '\t') ++at;
}

void SkipField(char*& at) {
    while (*at != ' ' && *at != '\t' && *at != '\0') ++at;
}

bool SamePath(const char* a, const char* b) {
    while (*a != '\0' && *a == *b) {
        ++a;
        ++b;
    }
    return *a == *b;
}

// "start-end perms offset dev inode   path"
bool ParseLine(char* line, MemoryMapping& out) {
    const char* at = line;
    out.start = ParseHex(at);
    if (*at != '-') return false;
    ++at;
    out.end = ParseHex(at);
    char* rest = const_cast<char*>(at);
    SkipSpaces(rest);
    if (rest[0] == '\0' || rest[1] == '\0' || rest[2] == '\0') return false;
    out.readable = rest[0] == 'r';
    out.writable = rest[1] == 'w';
    out.executable = rest[2] == 'x';
    SkipField(rest);
    SkipSpaces(rest);
    const char* offset = rest;
    out.offset = ParseHex(offset);
    rest = const_cast<char*>(offset);
    SkipSpaces(rest);
    SkipField(rest);  // device
    SkipSpaces(rest);
    SkipField(rest);  // inode
    SkipSpaces(rest);
    out.path = rest;
    return out.end > out.start;
}

void BuildModules() {
    g_moduleCount = 0;
    for (int i = 0; i < g_mappingCount && g_moduleCount < kMaxModules; ++i) {
        const MemoryMapping& first = g_mappings[i];
        if (first.path[0] != '/' || first.offset != 0) continue;
        MappedModule& module = g_modules[g_moduleCount++];
        module.base = first.start;
        module.end = first.end;
        module.path = first.path;
        module.firstMapping = i;
        module.mappingCount = 1;
        // The file's later mappings follow; anonymous memory (.bss) between them belongs to it.
        for (int j = i + 1; j < g_mappingCount; ++j) {
            const MemoryMapping& next = g_mappings[j];
            if (SamePath(next.path, first.path) && next.offset != 0) {
                module.end = next.end;
                module.mappingCount = j - i + 1;
            } else if (next.path[0] != '\0') {
                break;
            }
        }
    }
}

}  // namespace

int ReadMemoryMap() {
    g_textSize = 0;
    g_mappingCount = 0;
    g_moduleCount = 0;
    int fd = ::open("/proc/self/maps", O_RDONLY | O_CLOEXEC);
    if (fd < 0) return 0;
    for (;;) {
        ssize_t n = ::read(fd, g_text + g_textSize, kMapTextSize - g_textSize);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        g_textSize += static_cast<size_t>(n);
        if (g_textSize == kMapTextSize) break;
    }
    ::close(fd);
    // Only whole lines count.
    while (g_textSize > 0 && g_text[g_textSize - 1] != '\n') --g_textSize;
    g_text[g_textSize] = '\0';
    for (size_t i = 0; i <= g_textSize; ++i) g_lines[i] = g_text[i];

    char* line = g_lines;
    char* end = g_lines + g_textSize;
    while (line < end && g_mappingCount < kMaxMappings) {
        char* newline = line;
        while (newline < end && *newline != '\n') ++newline;
        *newline = '\0';
        MemoryMapping mapping;
        if (ParseLine(line, mapping)) g_mappings[g_mappingCount++] = mapping;
        line = newline + 1;
    }
    BuildModules();
    return g_mappingCount;
}

int MappingCount() { return g_mappingCount; }
const MemoryMapping& Mapping(int index) { return g_mappings[index]; }
int ModuleCount() { return g_moduleCount; }
const MappedModule& Module(int index) { return g_modules[index]; }

const char* MemoryMapText(size_t* size) {
    if (size) *size = g_textSize;
    return g_text;
}

const MemoryMapping* FindMapping(uint64_t address) {
    for (int i = 0; i < g_mappingCount; ++i) {
        if (address >= g_mappings[i].start && address < g_mappings[i].end) return &g_mappings[i];
    }
    return nullptr;
}

AddressLocation LocateAddress(uint64_t address) {
    AddressLocation location;
    for (int m = 0; m < g_moduleCount; ++m) {
        const MappedModule& module = g_modules[m];
        if (address < module.base || address >= module.end) continue;
        location.inModule = true;
        location.module = &module;
        location.offset = address - module.base;
        location.region = module.path;
        for (int i = 0; i < module.mappingCount; ++i) {
            const MemoryMapping& mapping = g_mappings[module.firstMapping + i];
            if (address >= mapping.start && address < mapping.end) {
                location.segment = static_cast<unsigned>(i + 1);
                break;
            }
        }
        return location;
    }
    const MemoryMapping* mapping = FindMapping(address);
    if (mapping) location.region = mapping->path;
    return location;
}

}  // namespace HY_OS

// Permission bits of a file that replaces an installed one: a file written over an existing file
// keeps that file's bits (an executable stays executable, a private file stays private); a new
// file whose first bytes mark it as a program (an ELF header or "#!") is made executable for
// everyone who may read it. Everything else keeps the bits it was created with.
#pragma once

#include <cstdint>
#include <string>

// What the installed file at `target` looks like before it is replaced.
struct InstalledFile {
    bool exists = false;
    uint32_t permissions = 0;
};

// Examines `target` (following links), before anything changes it.
InstalledFile ExamineInstalledFile(const std::string& target);

// Gives `replacement` (the checked file about to be renamed over the target) the permission bits
// it must have once installed. False when they could not be set.
bool PrepareInstallPermissions(const std::string& replacement, const InstalledFile& previous);

// True when `bytes` (the first bytes of a file) begin with an ELF header or "#!".
bool LooksExecutable(const char* bytes, size_t size);

// What a fuzz target defines: the entry libFuzzer calls with each input, and the seed inputs,
// made with the project's own writers, that start its corpus (`<target>_replay --write-seeds`).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);
std::vector<std::string> HyFuzzSeeds();

// A path named `name` in a scratch directory of this process (made on first use, removed with
// its files when the process exits), for entry points that read files.
std::string FuzzScratchPath(const std::string& name);
// Writes `size` bytes to the scratch file `name` and answers its path.
std::string FuzzScratchFile(const std::string& name, const uint8_t* data, size_t size);

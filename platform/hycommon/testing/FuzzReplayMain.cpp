// Replays kept inputs through a fuzz target without libFuzzer, so a regression shows in the
// normal test run of every build:
//   <target>_replay <file or directory>...   feeds every file (directories: their files, sorted)
//   <target>_replay --write-seeds <directory> writes the target's seed inputs there
// A directory that does not exist counts as empty; an input that crashes the target ends the
// program the way it ended the fuzzer.
#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "FuzzTarget.h"

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) __attribute__((weak));
std::vector<std::string> HyFuzzSeeds() __attribute__((weak));

namespace {

std::vector<std::string> FilesOf(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) return {};
    if (!S_ISDIR(info.st_mode)) return {path};
    std::vector<std::string> files;
    if (DIR* dir = ::opendir(path.c_str())) {
        while (dirent* entry = ::readdir(dir)) {
            std::string name = entry->d_name;
            if (name == "." || name == ".." || name[0] == '.') continue;
            std::string child = path + "/" + name;
            if (::stat(child.c_str(), &info) == 0 && S_ISREG(info.st_mode)) files.push_back(child);
        }
        ::closedir(dir);
    }
    std::sort(files.begin(), files.end());
    return files;
}

int WriteSeeds(const std::string& directory) {
    if (!HyFuzzSeeds) {
        std::fprintf(stderr, "this target makes no seeds\n");
        return 1;
    }
    ::mkdir(directory.c_str(), 0755);
    std::vector<std::string> seeds = HyFuzzSeeds();
    for (size_t i = 0; i < seeds.size(); ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "/seed-%02zu", i);
        std::ofstream out(directory + name, std::ios::binary | std::ios::trunc);
        out.write(seeds[i].data(), static_cast<std::streamsize>(seeds[i].size()));
        if (!out) {
            std::fprintf(stderr, "cannot write %s%s\n", directory.c_str(), name);
            return 1;
        }
    }
    std::printf("wrote %zu seeds to %s\n", seeds.size(), directory.c_str());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::string(argv[1]) == "--write-seeds") return WriteSeeds(argv[2]);
    if (LLVMFuzzerInitialize) LLVMFuzzerInitialize(&argc, &argv);
    size_t replayed = 0;
    for (int i = 1; i < argc; ++i) {
        for (const std::string& file : FilesOf(argv[i])) {
            std::ifstream in(file, std::ios::binary);
            std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
            if (!in.good() && !in.eof()) {
                std::fprintf(stderr, "cannot read %s\n", file.c_str());
                return 1;
            }
            std::fprintf(stderr, "replaying %s\n", file.c_str());
            LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
            ++replayed;
        }
    }
    std::printf("replayed %zu inputs\n", replayed);
    return 0;
}

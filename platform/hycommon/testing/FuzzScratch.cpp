#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "FuzzTarget.h"

namespace {

std::string& ScratchDirectory() {
    static std::string directory;
    return directory;
}

void RemoveScratch() {
    const std::string& directory = ScratchDirectory();
    if (DIR* dir = ::opendir(directory.c_str())) {
        while (dirent* entry = ::readdir(dir)) {
            std::string name = entry->d_name;
            if (name != "." && name != "..") ::unlink((directory + "/" + name).c_str());
        }
        ::closedir(dir);
    }
    ::rmdir(directory.c_str());
}

}  // namespace

std::string FuzzScratchPath(const std::string& name) {
    std::string& directory = ScratchDirectory();
    if (directory.empty()) {
        const char* base = std::getenv("TMPDIR");
        std::string pattern = std::string(base && *base ? base : "/tmp") + "/hy_fuzz_XXXXXX";
        if (!::mkdtemp(pattern.data())) std::abort();
        directory = pattern;
        std::atexit(RemoveScratch);
    }
    return directory + "/" + name;
}

std::string FuzzScratchFile(const std::string& name, const uint8_t* data, size_t size) {
    std::string path = FuzzScratchPath(name);
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) std::abort();
    if (size && std::fwrite(data, 1, size, file) != size) std::abort();
    std::fclose(file);
    return path;
}

// larkpack: packs files into a WAD archive, each as a zlib-compressed element named after the
// file (without its directory). Used by the build to pack the message modules into Root.wad.
//
//   larkpack [--raw] <archive.wad> <file>...
#include <cstdio>
#include <cstring>
#include <string>

#include "OsFile.h"
#include "WadWriter.h"

int main(int argc, char** argv) {
    int first = 1;
    bool compress = true;
    if (argc > 1 && std::strcmp(argv[1], "--raw") == 0) {
        compress = false;
        ++first;
    }
    if (argc - first < 2) {
        std::fprintf(stderr, "usage: larkpack [--raw] <archive.wad> <file>...\n");
        return 2;
    }
    std::string archive = argv[first];
    WadWriter writer;
    for (int i = first + 1; i < argc; ++i) {
        std::string data;
        if (!HY_OS::ReadWholeFile(argv[i], data)) {
            std::fprintf(stderr, "larkpack: cannot read %s\n", argv[i]);
            return 1;
        }
        std::string name = HY_OS::FileNamePart(argv[i]);
        if (!writer.Add(name, data, compress)) {
            std::fprintf(stderr, "larkpack: cannot add %s (bad or repeated name)\n", name.c_str());
            return 1;
        }
    }
    std::string directory = HY_OS::DirectoryPart(archive);
    if (!directory.empty()) HY_OS::CreateDirectories(directory);
    if (!writer.WriteFile(archive)) {
        std::fprintf(stderr, "larkpack: cannot write %s\n", archive.c_str());
        return 1;
    }
    return 0;
}

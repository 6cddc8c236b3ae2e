// larkwad: packs, lists, extracts and checks WAD archives, and writes the compressed header file
// that archive updates fetch.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "WadTool.h"

namespace {

int Usage() {
    std::fprintf(stderr,
                 "usage: larkwad pack [-z|-r] <directory> <archive>   pack (-z compress all, -r raw;\n"
                 "                                                   default: compress where smaller)\n"
                 "       larkwad list <archive>\n"
                 "       larkwad extract [--force] <archive> <directory>  (--force: write elements\n"
                 "                                                   that fail their CRC)\n"
                 "       larkwad check <archive>\n"
                 "       larkwad header <archive> [output]            write <archive>.hdr.gz\n");
    return 2;
}

int Fail(const std::string& error) {
    std::fprintf(stderr, "larkwad: %s\n", error.c_str());
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty()) return Usage();
    std::string command = args[0];
    std::string error;
    if (command == "pack") {
        larkwad::CompressMode mode = larkwad::CM_WhenSmaller;
        size_t at = 1;
        if (at < args.size() && args[at] == "-z") mode = larkwad::CM_Compress, ++at;
        else if (at < args.size() && args[at] == "-r") mode = larkwad::CM_Raw, ++at;
        if (args.size() != at + 2) return Usage();
        if (!larkwad::PackDirectory(args[at], args[at + 1], mode, error)) return Fail(error);
        return 0;
    }
    if (command == "list" && args.size() == 2) {
        std::vector<larkwad::ListedElement> elements;
        if (!larkwad::ListArchive(args[1], elements, error)) return Fail(error);
        for (const auto& e : elements)
            std::printf("%10u %10u %c 0x%08x %10u %s\n", e.size, e.packedSize, e.compressed ? 'z' : '-',
                        e.crc, e.dataPosition, e.name.c_str());
        return 0;
    }
    if (command == "extract") {
        bool force = args.size() == 4 && args[1] == "--force";
        if (args.size() != (force ? 4u : 3u)) return Usage();
        const std::string& archive = args[force ? 2 : 1];
        const std::string& directory = args[force ? 3 : 2];
        std::vector<std::string> forced;
        if (!larkwad::ExtractArchive(archive, directory, error, force, &forced)) return Fail(error);
        for (const auto& name : forced)
            std::fprintf(stderr, "larkwad: wrote %s although it fails its CRC check (--force)\n",
                         name.c_str());
        return 0;
    }
    if (command == "check" && args.size() == 2) {
        std::vector<std::string> bad;
        if (!larkwad::CheckArchive(args[1], bad, error)) return Fail(error);
        for (const auto& name : bad) std::printf("bad CRC: %s\n", name.c_str());
        return bad.empty() ? 0 : 1;
    }
    if (command == "header" && (args.size() == 2 || args.size() == 3)) {
        larkwad::HeaderInfo info;
        if (!larkwad::WriteHeaderFile(args[1], args.size() == 3 ? args[2] : "", info, error)) return Fail(error);
        std::printf("size=%u crc=0x%08x header_size=%u header_crc=0x%08x compressed_header_size=%u\n",
                    info.archiveSize, info.archiveCrc, info.headerSize, info.headerCrc,
                    info.compressedHeaderSize);
        return 0;
    }
    return Usage();
}

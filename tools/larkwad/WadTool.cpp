#include "WadTool.h"

#include <dirent.h>
#include <sys/stat.h>
#include <zlib.h>

#include <algorithm>

#include "Crc.h"
#include "OsFile.h"
#include "WadFile.h"
#include "WadSource.h"
#include "WadWriter.h"

namespace larkwad {

namespace {

bool CollectFiles(const std::string& root, const std::string& relative, std::vector<std::string>& out,
                  std::string& error) {
    std::string path = relative.empty() ? root : root + "/" + relative;
    DIR* dir = opendir(path.c_str());
    if (!dir) {
        error = "cannot read directory " + path;
        return false;
    }
    std::vector<std::string> names;
    while (dirent* entry = readdir(dir)) {
        std::string name = entry->d_name;
        if (name != "." && name != "..") names.push_back(name);
    }
    closedir(dir);
    for (const std::string& name : names) {
        std::string child = relative.empty() ? name : relative + "/" + name;
        struct stat info {};
        if (::lstat((root + "/" + child).c_str(), &info) != 0) continue;
        if (S_ISDIR(info.st_mode)) {
            if (!CollectFiles(root, child, out, error)) return false;
        } else if (S_ISREG(info.st_mode)) {
            out.push_back(child);
        }
    }
    return true;
}

bool Compress(const std::string& data, std::string& out) {
    uLongf length = compressBound(static_cast<uLong>(data.size()));
    out.resize(length);
    if (compress2(reinterpret_cast<Bytef*>(out.data()), &length,
                  reinterpret_cast<const Bytef*>(data.data()), static_cast<uLong>(data.size()),
                  Z_BEST_COMPRESSION) != Z_OK)
        return false;
    out.resize(length);
    return true;
}

bool Inflate(const std::string& stored, uint32_t size, std::string& out) {
    out.resize(size);
    uLongf length = size;
    if (uncompress(reinterpret_cast<Bytef*>(out.data()), &length,
                   reinterpret_cast<const Bytef*>(stored.data()), static_cast<uLong>(stored.size())) != Z_OK)
        return false;
    return length == size;
}

bool SafeName(const std::string& name) {
    if (name.empty() || name[0] == '/' || name[0] == '\\') return false;
    size_t start = 0;
    while (start <= name.size()) {
        size_t end = name.find_first_of("/\\", start);
        if (end == std::string::npos) end = name.size();
        std::string part = name.substr(start, end - start);
        if (part.empty() || part == "." || part == ".." || part.find(':') != std::string::npos) return false;
        start = end + 1;
    }
    return true;
}

bool LoadArchive(const std::string& archive, WadFile& wad, HY_OS::File& file, std::string& error) {
    file = HY_OS::File::Open(archive, HY_OS::FileMode::Read);
    if (!file.IsOpen()) {
        error = "cannot open " + archive;
        return false;
    }
    WadFileSource source(file);
    if (!wad.LoadWadHeader(source)) {
        error = archive + " is not a readable WAD archive";
        return false;
    }
    return true;
}

}  // namespace

bool PackDirectory(const std::string& directory, const std::string& archive, CompressMode mode,
                   std::string& error) {
    std::vector<std::string> files;
    if (!CollectFiles(directory, "", files, error)) return false;
    WadWriter writer;
    for (const std::string& name : files) {
        std::string data;
        if (!HY_OS::ReadWholeFile(directory + "/" + name, data)) {
            error = "cannot read " + name;
            return false;
        }
        bool ok;
        if (mode == CM_Raw) {
            ok = writer.Add(name, data, false);
        } else {
            std::string packed;
            if (!Compress(data, packed)) {
                error = "cannot compress " + name;
                return false;
            }
            if (mode == CM_Compress || packed.size() < data.size())
                ok = writer.AddStored(name, std::move(packed), static_cast<uint32_t>(data.size()), true);
            else
                ok = writer.Add(name, data, false);
        }
        if (!ok) {
            error = "cannot add element " + name;
            return false;
        }
    }
    if (!writer.WriteFile(archive)) {
        error = "cannot write " + archive;
        return false;
    }
    return true;
}

bool ListArchive(const std::string& archive, std::vector<ListedElement>& elements, std::string& error) {
    WadFile wad(archive);
    HY_OS::File file;
    if (!LoadArchive(archive, wad, file, error)) return false;
    elements.clear();
    for (const auto& [name, element] : wad.Elements()) {
        elements.push_back({name, element.Size(), element.PackedSize(), element.IsCompressed(),
                            element.Crc(), element.DataPosition()});
    }
    return true;
}

bool CheckArchive(const std::string& archive, std::vector<std::string>& bad, std::string& error) {
    WadFile wad(archive);
    HY_OS::File file;
    if (!LoadArchive(archive, wad, file, error)) return false;
    bad.clear();
    for (const auto& [name, element] : wad.Elements()) {
        std::string stored;
        WadFileSource source(file);
        if (!element.ReadPackedData(source, stored) || CrcUpdate(0, stored.data(), stored.size()) != element.Crc())
            bad.push_back(name);
    }
    return true;
}

bool ExtractArchive(const std::string& archive, const std::string& directory, std::string& error) {
    WadFile wad(archive);
    HY_OS::File file;
    if (!LoadArchive(archive, wad, file, error)) return false;
    for (const auto& [name, element] : wad.Elements()) {
        if (!SafeName(name)) {
            error = "refusing element name that leaves the directory: " + name;
            return false;
        }
        std::string stored;
        WadFileSource source(file);
        if (!element.ReadPackedData(source, stored)) {
            error = "cannot read element " + name;
            return false;
        }
        std::string data;
        if (element.IsCompressed()) {
            if (!Inflate(stored, element.Size(), data)) {
                error = "cannot inflate element " + name;
                return false;
            }
        } else {
            data = std::move(stored);
        }
        std::string target = directory + "/" + name;
        std::replace(target.begin(), target.end(), '\\', '/');
        if (!HY_OS::CreateDirectories(HY_OS::DirectoryPart(target)) || !HY_OS::WriteFileAtomic(target, data)) {
            error = "cannot write " + target;
            return false;
        }
    }
    return true;
}

bool WriteHeaderFile(const std::string& archive, const std::string& output, HeaderInfo& info,
                     std::string& error) {
    WadFile wad(archive);
    HY_OS::File file;
    if (!LoadArchive(archive, wad, file, error)) return false;
    int64_t length = file.Length();
    if (length < 0 || length > UINT32_MAX || wad.TableEnd() <= 0) {
        error = archive + " is too large or has no entry table";
        return false;
    }
    std::string header(static_cast<size_t>(wad.TableEnd()), '\0');
    if (file.ReadAt(header.data(), header.size(), 0) != static_cast<int64_t>(header.size())) {
        error = "cannot read the header of " + archive;
        return false;
    }
    std::string out = output.empty() ? archive + ".hdr.gz" : output;
    std::string temporary = out + ".tmp";
    gzFile gz = gzopen(temporary.c_str(), "wb9");
    if (!gz) {
        error = "cannot create " + temporary;
        return false;
    }
    bool written = gzwrite(gz, header.data(), static_cast<unsigned>(header.size())) == static_cast<int>(header.size());
    if (gzclose(gz) != Z_OK) written = false;
    if (!written || !HY_OS::RenameFile(temporary, out)) {
        HY_OS::DeleteFile(temporary);
        error = "cannot write " + out;
        return false;
    }
    uint32_t archiveCrc = 0;
    std::vector<char> block(1 << 20);
    for (int64_t at = 0; at < length;) {
        int64_t n = file.ReadAt(block.data(), block.size(), at);
        if (n <= 0) {
            error = "cannot read " + archive;
            return false;
        }
        archiveCrc = CrcUpdate(archiveCrc, block.data(), static_cast<size_t>(n));
        at += n;
    }
    info.archiveSize = static_cast<uint32_t>(length);
    info.archiveCrc = archiveCrc;
    info.headerSize = static_cast<uint32_t>(header.size());
    info.headerCrc = CrcUpdate(0, header.data(), header.size());
    info.compressedHeaderSize = static_cast<uint32_t>(HY_OS::FileLength(out));
    return true;
}

}  // namespace larkwad

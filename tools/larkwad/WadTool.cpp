#include "WadTool.h"

#include <zlib.h>

#include <algorithm>

#include "Crc.h"
#include "OsFile.h"
#include "OsFileInfo.h"
#include "ResourceManager.h"
#include "WadElementData.h"
#include "WadFile.h"
#include "WadSource.h"
#include "WadWriter.h"

namespace larkwad {

namespace {

bool CollectFiles(const std::string& root, const std::string& relative, std::vector<std::string>& out,
                  std::string& error) {
    std::string path = relative.empty() ? root : root + "/" + relative;
    std::vector<HY_OS::DirectoryEntry> entries;
    if (!HY_OS::ListDirectory(path, entries)) {
        error = "cannot read directory " + path;
        return false;
    }
    for (const HY_OS::DirectoryEntry& entry : entries) {
        std::string child = relative.empty() ? entry.name : relative + "/" + entry.name;
        // Symbolic links are neither followed nor packed.
        HY_OS::FileInfo info;
        if (!HY_OS::GetLinkInfo(root + "/" + child, info) || info.isSymbolicLink) continue;
        if (info.isDirectory) {
            if (!CollectFiles(root, child, out, error)) return false;
        } else if (info.isRegular) {
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
        std::string data;
        WadFileSource source(file);
        if (ReadElementData(element, source, data) != ED_Ok) bad.push_back(name);
    }
    return true;
}

bool ExtractArchive(const std::string& archive, const std::string& directory, std::string& error,
                    bool force, std::vector<std::string>* forced) {
    WadFile wad(archive);
    HY_OS::File file;
    if (!LoadArchive(archive, wad, file, error)) return false;

    // Every element is checked before the first is written, so a refused archive leaves the
    // target directory as it was. The contents are read again when written, which keeps memory
    // to one element at a time.
    std::vector<std::string> problems;
    std::vector<std::string> badCrc;
    for (const auto& [name, element] : wad.Elements()) {
        if (!IsSafeRelativeName(name)) {
            problems.push_back("element name leaves the directory: " + name);
            continue;
        }
        std::string data;
        WadFileSource source(file);
        switch (ReadElementData(element, source, data)) {
        case ED_Ok:
            break;
        case ED_BadCrc:
            badCrc.push_back(name);
            if (!force) problems.push_back("element fails its CRC check: " + name);
            break;
        case ED_Unreadable:
            problems.push_back("element cannot be read: " + name);
            break;
        case ED_NotInflatable:
        case ED_Corrupt:
            problems.push_back("element does not inflate to its recorded " +
                               std::to_string(element.Size()) + " bytes: " + name);
            break;
        }
    }
    if (!problems.empty()) {
        error = "nothing extracted from " + archive + ": ";
        for (size_t i = 0; i < problems.size(); ++i) error += (i ? "; " : "") + problems[i];
        if (!force && !badCrc.empty()) error += " (--force writes elements that fail only their CRC)";
        return false;
    }

    for (const auto& [name, element] : wad.Elements()) {
        std::string data;
        WadFileSource source(file);
        ElementDataResult read = ReadElementData(element, source, data);
        if (read != ED_Ok && !(force && read == ED_BadCrc)) {
            error = "element changed while extracting: " + name;
            return false;
        }
        std::string target = directory + "/" + name;
        std::replace(target.begin(), target.end(), '\\', '/');
        if (!HY_OS::CreateDirectories(HY_OS::DirectoryPart(target)) || !HY_OS::WriteFileAtomic(target, data)) {
            error = "cannot write " + target;
            return false;
        }
        if (read == ED_BadCrc && forced) forced->push_back(name);
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

#include "Publisher.h"

#include <algorithm>
#include <filesystem>
#include <map>
#include <set>

#include "DMLDatabase.h"
#include "DMLMessageTypes.h"
#include "DMLTableFileWriter.h"
#include "MessageManager.h"
#include "OsFile.h"
#include "PublishFiles.h"
#include "Repository.h"
#include "WadInspection.h"
#include "WadTool.h"

namespace larkpublish {

namespace {

namespace fs = std::filesystem;

// A file of the build as the manifest places it.
struct BuildFile {
    std::string package;
    std::string path;    // in the build folder
    std::string target;  // install path
    PublishFileType type = PFT_Plain;
};

bool IsFolderEntry(const ManifestEntry& entry) { return entry.path.back() == '/'; }

std::string Join(const std::string& folder, const std::string& relative) {
    return HY_OS::JoinPath(folder, relative);
}

bool IsRegularFile(const std::string& path) {
    std::error_code ec;
    return fs::is_regular_file(path, ec);
}

// Every regular file below `folder`, as paths relative to it, in byte-wise order.
bool FilesBelow(const std::string& folder, std::vector<std::string>& out, std::string& error) {
    std::error_code ec;
    fs::recursive_directory_iterator it(folder, ec), end;
    if (ec) {
        error = "cannot read the folder " + folder;
        return false;
    }
    for (; it != end; it.increment(ec)) {
        if (ec) {
            error = "cannot read below " + folder;
            return false;
        }
        if (it->is_regular_file(ec))
            out.push_back(fs::relative(it->path(), folder, ec).generic_string());
    }
    std::sort(out.begin(), out.end());
    return true;
}

bool EntryExists(const std::string& build, const ManifestEntry& entry) {
    std::string path = Join(build, entry.path);
    std::error_code ec;
    return IsFolderEntry(entry) ? fs::is_directory(path, ec) : IsRegularFile(path);
}

// The files of the manifest, folders expanded. An optional package none of whose files are in
// the build is left out with a note (the launcher skips an optional package the list lacks).
bool ExpandManifest(const Manifest& manifest, const std::string& build,
                    std::vector<BuildFile>& files, std::vector<std::string>& published,
                    PublishResult& result, std::string& error) {
    std::set<std::string> targets;
    for (const ManifestPackage& package : manifest.packages) {
        bool any = false, all = true;
        for (const ManifestEntry& entry : package.entries) {
            bool exists = EntryExists(build, entry);
            any = any || exists;
            all = all && exists;
        }
        if (!package.required && !any) {
            result.notes.push_back("optional package " + package.name +
                                   " has no file in the build and is left out of the list");
            continue;
        }
        published.push_back(package.name);
        for (const ManifestEntry& entry : package.entries) {
            if (!EntryExists(build, entry)) {
                error = "manifest line " + std::to_string(entry.line) + ": " + entry.path +
                        " is not in the build folder";
                return false;
            }
            std::vector<std::pair<std::string, std::string>> pairs;  // path, target
            if (IsFolderEntry(entry)) {
                std::vector<std::string> below;
                if (!FilesBelow(Join(build, entry.path), below, error)) return false;
                std::string targetFolder = entry.target.empty() ? entry.path : entry.target;
                for (const std::string& name : below)
                    pairs.push_back({entry.path + name, targetFolder + name});
            } else {
                pairs.push_back({entry.path, entry.target.empty() ? entry.path : entry.target});
            }
            for (auto& [path, target] : pairs) {
                if (!IsPublishablePath(path)) {
                    error = "the build file " + path +
                            " has a name the launcher cannot fetch "
                            "(letters, digits and \"._-+~@()\" only)";
                    return false;
                }
                if (!targets.insert(target).second) {
                    error = "manifest line " + std::to_string(entry.line) + ": " + target +
                            " is installed by two manifest lines";
                    return false;
                }
                files.push_back({package.name, path, target, entry.type});
            }
        }
    }
    return true;
}

bool EndsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() &&
           text.compare(text.size() - end.size(), end.size(), end) == 0;
}

size_t CountOf(const std::string& text, const std::string& part) {
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}

// Stores one file of the build and fills its file-list record.
bool PublishFile(const PublishOptions& options, const BuildFile& file, PublishedFile& out,
                 PublishResult& result, std::string& error) {
    std::string source = Join(options.buildFolder, file.path);
    int64_t length = 0;
    uint32_t crc = 0;
    if (!FileLengthAndCrc(source, length, crc)) {
        error = "cannot read " + source;
        return false;
    }
    if (length > static_cast<int64_t>(UINT32_MAX)) {
        error = source + " is 4 GiB or larger; file lists hold 32-bit sizes";
        return false;
    }
    bool wad = file.type == PFT_Wad || file.type == PFT_DynamicWad;
    // The launcher finds an archive's header by replacing every ".wad" of its URL with
    // ".wad.hdr.gz", so the name must hold ".wad" exactly once, at its end.
    if (wad && (!EndsWith(file.path, ".wad") || CountOf(file.path, ".wad") != 1)) {
        error =
            file.path + ": a WAD type needs a name that ends in \".wad\" and holds it nowhere else";
        return false;
    }
    WadHeaderFacts facts;
    if (wad && !InspectWadArchive(source, facts, error)) {
        error =
            file.path + " is given the type " + std::string(FileTypeName(file.type)) + ": " + error;
        return false;
    }

    out.package = file.package;
    out.srcFileName = StoredPath(crc, static_cast<uint32_t>(length), file.path);
    out.tarFileName = file.target;
    out.fileType = file.type;
    out.size = static_cast<uint32_t>(length);
    out.crc = crc;

    std::string stored = Join(options.repository, out.srcFileName);
    if (HY_OS::FileExists(stored)) {
        if (!SameFileContent(source, stored)) {
            error = stored + " holds other bytes of the same size and CRC as " + source;
            return false;
        }
        ++result.filesReused;
    } else {
        if (!CopyFileAtomic(source, stored, crc, error)) return false;
        ++result.filesStored;
    }

    if (file.type == PFT_Gzip) {
        std::string gz = stored + ".gz";
        if (!HY_OS::FileExists(gz)) {
            if (!GzipFileAtomic(stored, gz, error)) return false;
            ++result.filesStored;
        }
        int64_t gzLength = HY_OS::FileLength(gz);
        if (gzLength < 0 || gzLength > static_cast<int64_t>(UINT32_MAX)) {
            error = "cannot use " + gz;
            return false;
        }
        // The compressed engine takes the header size as the expected size of the download.
        out.headerSize = static_cast<uint32_t>(gzLength);
    } else if (wad) {
        std::string header = stored + ".hdr.gz";
        if (!HY_OS::FileExists(header)) {
            larkwad::HeaderInfo info;
            if (!larkwad::WriteHeaderFile(stored, header, info, error)) return false;
            ++result.filesStored;
        }
        out.headerSize = facts.headerSize;
        out.headerCrc = facts.headerCrc;
        out.compressedHeaderSize =
            static_cast<uint32_t>(std::max<int64_t>(0, HY_OS::FileLength(header)));
    }
    return true;
}

void FillList(DMLDatabase& list, uint32_t version, const std::vector<std::string>& packages,
              const std::vector<PublishedFile>& files) {
    list.MakeTable("About", false)->AppendRecord().GetField("Version").SetValue(version);
    for (const std::string& package : packages) list.MakeTable(package, false);
    for (const PublishedFile& file : files) {
        DMLRecord& record = list.FindTable(file.package)->AppendRecord();
        record.GetField("SrcFileName").SetValue(std::string_view(file.srcFileName));
        record.GetField("TarFileName").SetValue(std::string_view(file.tarFileName));
        record.GetField("FileType").SetValue(static_cast<uint32_t>(file.fileType));
        record.GetField("Size").SetValue(file.size);
        record.GetField("CRC").SetValue(file.crc);
        record.GetField("HeaderSize").SetValue(file.headerSize);
        record.GetField("CompressedHeaderSize").SetValue(file.compressedHeaderSize);
        record.GetField("HeaderCRC").SetValue(file.headerCrc);
    }
}

std::string XmlList(const std::string& name, uint32_t version,
                    const std::vector<std::string>& packages,
                    const std::vector<PublishedFile>& files) {
    DMLDatabase list(name);
    FillList(list, version, packages, files);
    return WriteXmlTableFile(list, true);
}

// The highest version that has a list folder, 0 when none.
uint32_t HighestListVersion(const std::string& repository) {
    uint32_t highest = 0;
    std::error_code ec;
    for (fs::directory_iterator it(Join(repository, "lists"), ec), end; !ec && it != end;
         it.increment(ec)) {
        std::string name = it->path().filename().string();
        if (name.empty() || name.size() > 10 ||
            name.find_first_not_of("0123456789") != std::string::npos)
            continue;
        highest = std::max<uint32_t>(highest, static_cast<uint32_t>(std::min<unsigned long long>(
                                                  std::stoull(name), UINT32_MAX)));
    }
    return highest;
}

bool CheckOptions(const PublishOptions& options, std::string& error) {
    if (options.listType != 1 && options.listType != 2) {
        error = "the list type is 1 (XML) or 2 (binary)";
        return false;
    }
    if (!IsPublishablePath(options.listName) || options.listName.find('/') != std::string::npos) {
        error = "the list name " + options.listName + " is not a plain file name";
        return false;
    }
    if (options.locales.empty()) {
        error = "name at least one locale";
        return false;
    }
    for (const std::string& locale : options.locales) {
        if (locale.empty() || locale == "ERROR1" ||
            locale.find_first_of(" \t\r\n#") != std::string::npos) {
            error = "'" + locale + "' cannot be a locale";
            return false;
        }
    }
    if (options.version && *options.version == 0) {
        error = "versions start at 1";
        return false;
    }
    return true;
}

}  // namespace

bool LoadListMessageModules(const std::string& dataFolder, std::string& error) {
    if (!MessageManager::GetSingleton().LoadMessageModule(dataFolder, "BaseMessages")) {
        error = "cannot load the message module BaseMessages from " + dataFolder;
        return false;
    }
    return true;
}

bool Publish(const PublishOptions& options, PublishResult& result, std::string& error) {
    result = PublishResult{};
    if (!CheckOptions(options, error)) return false;
    Manifest manifest;
    if (!LoadManifest(options.manifestPath, manifest, error)) return false;
    if (!options.dataFolder.empty() && !LoadListMessageModules(options.dataFolder, error))
        return false;
    if (DMLSpecialTypes::CustomDict() == 0 || DMLSpecialTypes::CustomRecord() == 0) {
        error = "the binary list form needs the message module BaseMessages (give its folder)";
        return false;
    }
    if (!HY_OS::IsDirectory(options.buildFolder)) {
        error = "the build folder " + options.buildFolder + " does not exist";
        return false;
    }
    if (!HY_OS::CreateDirectories(options.repository)) {
        error = "cannot create the repository folder " + options.repository;
        return false;
    }

    std::vector<BuildFile> files;
    std::vector<std::string> packages;
    if (!ExpandManifest(manifest, options.buildFolder, files, packages, result, error))
        return false;
    result.files.resize(files.size());
    for (size_t i = 0; i < files.size(); ++i)
        if (!PublishFile(options, files[i], result.files[i], result, error)) return false;

    // The version: the one asked for, else the current one when its list is this list, else the
    // next number that no list folder uses yet.
    RepositoryInfo current;
    std::string ignored;
    bool haveCurrent = LoadRepositoryInfo(options.repository, current, ignored);
    RepositoryInfo info;
    info.listName = options.listName;
    info.listType = options.listType;
    info.locales = options.locales;
    for (const ManifestPackage& package : manifest.packages)
        if (std::find(packages.begin(), packages.end(), package.name) != packages.end())
            info.packages.push_back({package.name, package.required});
    if (options.version) {
        info.version = *options.version;
    } else {
        uint32_t highest = HighestListVersion(options.repository);
        if (highest == UINT32_MAX) {
            error = "the repository has used every version number";
            return false;
        }
        info.version = highest + 1;
        if (haveCurrent && current.listName == options.listName) {
            std::string existing;
            if (HY_OS::ReadWholeFile(Join(options.repository, current.ListPath(1)), existing) &&
                existing == XmlList(options.listName, current.version, packages, result.files))
                info.version = current.version;
        }
    }
    result.version = info.version;

    std::string xml = XmlList(options.listName, info.version, packages, result.files);
    std::string xmlPath = Join(options.repository, info.ListPath(1));
    std::string existing;
    if (HY_OS::ReadWholeFile(xmlPath, existing) && existing != xml) {
        error = "version " + std::to_string(info.version) +
                " is already published with another list; publish under a new version";
        return false;
    }
    DMLDatabase list(options.listName);
    FillList(list, info.version, packages, result.files);
    std::string binary;
    if (!WriteBinaryTableFile(list, binary)) {
        error = "cannot write the binary form of the list";
        return false;
    }
    bool binWritten = false, xmlWritten = false, infoWritten = false;
    if (!WriteIfChanged(Join(options.repository, info.ListPath(2)), binary, binWritten, error) ||
        !WriteIfChanged(xmlPath, xml, xmlWritten, error) ||
        !WriteIfChanged(Join(options.repository, kRepositoryFile), RenderRepositoryInfo(info),
                        infoWritten, error))
        return false;
    result.listWritten = binWritten || xmlWritten;
    return true;
}

}  // namespace larkpublish

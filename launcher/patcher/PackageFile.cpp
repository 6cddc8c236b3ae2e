#include "PackageFile.h"

#include <cstring>

#include "Crc.h"
#include "DMLRecord.h"
#include "HYHttpFileClient.h"
#include "OsFileInfo.h"

namespace {

// The fields in the order the publisher writes them: a record in that order is read without a
// search; any other order falls back to looking the names up.
enum FieldIndex { FI_Src, FI_Tar, FI_Type, FI_Size, FI_Crc, FI_HeaderSize, FI_CompressedHeaderSize, FI_HeaderCrc };
constexpr std::string_view kFieldNames[] = {"SrcFileName", "TarFileName",         "FileType",  "Size",
                                            "CRC",         "HeaderSize", "CompressedHeaderSize", "HeaderCRC"};

const DMLField* FieldAt(const DMLRecord& record, FieldIndex index) {
    size_t i = static_cast<size_t>(index);
    // Entry names are zero-filled buffers: comparing the name and its terminator needs no strlen.
    if (i < record.FieldCount() &&
        std::memcmp(record.EntryAt(i).name, kFieldNames[i].data(), kFieldNames[i].size() + 1) == 0)
        return &record.EntryAt(i).field;
    return record.FindField(kFieldNames[i]);
}

uint32_t Optional(const DMLRecord& record, FieldIndex index) {
    const DMLField* field = FieldAt(record, index);
    return field ? field->GetUInt() : 0;
}

}  // namespace

bool IsContainedRelativePath(const std::string& name) {
    if (name.empty() || name.find('\0') != std::string::npos) return false;
    if (name.front() == '/' || name.front() == '\\') return false;
    // A drive ("C:") or a stream name is never part of a path below the install directory.
    if (name.find(':') != std::string::npos) return false;
    size_t start = 0;
    while (start <= name.size()) {
        size_t end = name.find_first_of("/\\", start);
        if (end == std::string::npos) end = name.size();
        std::string_view part(name.data() + start, end - start);
        if (part == "." || part == "..") return false;
        if (end == name.size()) break;
        start = end + 1;
    }
    char last = name.back();
    return last != '/' && last != '\\';
}

bool ReadPackageFile(const DMLRecord& record, PackageFile& file, std::string& problem) {
    problem.clear();
    const DMLField* fields[] = {FieldAt(record, FI_Src), FieldAt(record, FI_Type), FieldAt(record, FI_Size),
                                FieldAt(record, FI_Crc)};
    const char* names[] = {"SrcFileName", "FileType", "Size", "CRC"};
    for (size_t i = 0; i < 4; ++i) {
        if (!fields[i]) {
            problem = std::string("the field ") + names[i] + " is missing";
            return false;
        }
    }
    const std::string& src = fields[0]->ToStr();
    const DMLField* tar = FieldAt(record, FI_Tar);
    const std::string* target = tar ? &tar->ToStr() : nullptr;
    if (!target || target->empty()) target = &src;
    if (!IsContainedRelativePath(src)) {
        problem = "the source name is not a path below the server's folder";
        return false;
    }
    if (target != &src && !IsContainedRelativePath(*target)) {
        problem = "the target name is not a path below the install folder";
        return false;
    }
    file.srcFileName = src;
    file.m_target = *target;
    file.m_normalisedTarget.clear();
    if (target->find('\\') != std::string::npos) {
        file.m_normalisedTarget = *target;
        for (char& c : file.m_normalisedTarget)
            if (c == '\\') c = '/';
    }
    file.fileType = fields[1]->GetUInt();
    file.size = fields[2]->GetUInt();
    file.crc = fields[3]->GetUInt();
    file.headerSize = Optional(record, FI_HeaderSize);
    file.compressedHeaderSize = Optional(record, FI_CompressedHeaderSize);
    file.headerCrc = Optional(record, FI_HeaderCrc);
    file.nameHash = CrcUpdate(0, src.data(), src.size());
    return true;
}

uint32_t DownloadTypeOf(uint32_t fileType) {
    switch (fileType) {
        case PFT_WadUpdate: return DT_WadArchive;
        case PFT_Compressed: return DT_Compressed;
        case PFT_DynamicWad: return DT_DynamicWadArchive;
        default: return DT_WholeFile;
    }
}

std::string FileUrl(const std::string& prefix, std::string_view srcFileName, uint32_t fileType,
                    const std::string& suffix) {
    std::string url = prefix;
    url += '/';
    url += srcFileName;
    if (fileType == PFT_Compressed) url += ".gz";
    url += suffix;
    return url;
}

LinkGuard::LinkGuard(const std::string& installDirectory) : m_root(HY_OS::DirectoryHandle::Open(installDirectory)) {}

const LinkGuard::Directory& LinkGuard::Find(std::string_view directory) {
    auto found = m_directories.find(directory);
    if (found != m_directories.end()) return found->second;
    if (m_directories.size() >= kMaxOpenDirectories) m_directories.clear();
    // Opened from the parent, which is found (and kept) the same way.
    Directory opened;
    size_t cut = directory.rfind('/');
    const Directory* parent = nullptr;
    std::string_view name = directory;
    if (cut != std::string_view::npos) {
        parent = &Find(directory.substr(0, cut));
        name = directory.substr(cut + 1);
    }
    const HY_OS::DirectoryHandle& from = parent ? parent->handle : m_root;
    if (parent && parent->link) {
        opened.link = true;
    } else {
        // "a//b" names the directory "a" twice.
        m_name.assign(name.empty() ? std::string_view(".") : name);
        opened.handle = from.OpenChild(m_name.c_str(), opened.link);
    }
    return m_directories.emplace(std::string(directory), std::move(opened)).first->second;
}

bool LinkGuard::PathIsSafe(std::string_view relative, bool& exists, int64_t& size, int64_t& lastWriteMs) {
    exists = false;
    size = 0;
    lastWriteMs = 0;
    size_t cut = relative.rfind('/');
    const HY_OS::DirectoryHandle* directory = &m_root;
    if (cut != std::string_view::npos) {
        const Directory& found = Find(relative.substr(0, cut));
        if (found.link) return false;
        directory = &found.handle;
    }
    // A directory that does not exist yet will be made by the download, not followed.
    if (!directory->IsOpen()) return true;
    m_name.assign(relative.substr(cut == std::string_view::npos ? 0 : cut + 1));
    HY_OS::FileInfo info;
    if (!directory->ChildInfo(m_name.c_str(), info)) return true;
    if (info.isSymbolicLink) return false;
    exists = info.isRegular;
    size = info.size;
    lastWriteMs = info.lastWriteMs;
    return true;
}

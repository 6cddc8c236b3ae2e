#include "PackageFile.h"

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
    if (i < record.FieldCount() && record.EntryAt(i).Name() == kFieldNames[i]) return &record.EntryAt(i).field;
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
    if (!IsContainedRelativePath(*target)) {
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

bool LinkGuard::PathIsSafe(std::string_view relative, bool& exists, int64_t& size, int64_t& lastWriteMs) {
    exists = false;
    size = 0;
    lastWriteMs = 0;
    HY_OS::FileInfo info;
    size_t cut = relative.rfind('/');
    if (cut != std::string_view::npos && !m_safeDirectories.count(relative.substr(0, cut))) {
        // Each directory on the way, from the top: a link anywhere is refused; a directory that
        // does not exist yet will be made by the download, not followed.
        std::string_view directory = relative.substr(0, cut);
        size_t at = 0;
        while (at != std::string_view::npos) {
            size_t next = directory.find('/', at);
            std::string_view prefix = directory.substr(0, next);
            if (!m_safeDirectories.count(prefix)) {
                m_path.assign(m_root).append(prefix);
                if (!HY_OS::GetLinkInfo(m_path, info)) break;
                if (info.isSymbolicLink) return false;
                // A file in a directory's place makes the download fail; nothing is followed.
                if (!info.isDirectory) break;
                m_safeDirectories.emplace(prefix);
            }
            at = next == std::string_view::npos ? next : next + 1;
        }
    }
    m_path.assign(m_root).append(relative);
    if (!HY_OS::GetLinkInfo(m_path, info)) return true;
    if (info.isSymbolicLink) return false;
    exists = info.isRegular;
    size = info.size;
    lastWriteMs = info.lastWriteMs;
    return true;
}

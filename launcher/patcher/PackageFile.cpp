#include "PackageFile.h"

#include "Crc.h"
#include "DMLRecord.h"
#include "HYHttpFileClient.h"
#include "OsFileInfo.h"

namespace {

const DMLField* Need(const DMLRecord& record, const char* name, std::string& problem) {
    const DMLField* field = record.FindField(name);
    if (!field && problem.empty()) problem = std::string("the field ") + name + " is missing";
    return field;
}

uint32_t Optional(const DMLRecord& record, const char* name) {
    const DMLField* field = record.FindField(name);
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

bool ReadPackageFile(const DMLRecord& record, const std::string& installDirectory, PackageFile& file,
                     std::string& problem) {
    problem.clear();
    const DMLField* src = Need(record, "SrcFileName", problem);
    const DMLField* type = Need(record, "FileType", problem);
    const DMLField* size = Need(record, "Size", problem);
    const DMLField* crc = Need(record, "CRC", problem);
    if (!src || !type || !size || !crc) return false;
    file.srcFileName = src->ToStr();
    const DMLField* tar = record.FindField("TarFileName");
    std::string target = tar ? tar->ToStr() : std::string();
    if (target.empty()) target = file.srcFileName;
    if (!IsContainedRelativePath(file.srcFileName)) {
        problem = "the source name is not a path below the server's folder";
        return false;
    }
    if (!IsContainedRelativePath(target)) {
        problem = "the target name is not a path below the install folder";
        return false;
    }
    for (char& c : target)
        if (c == '\\') c = '/';
    file.tarFileName = target;
    file.fileType = type->GetUInt();
    file.size = size->GetUInt();
    file.crc = crc->GetUInt();
    file.headerSize = Optional(record, "HeaderSize");
    file.compressedHeaderSize = Optional(record, "CompressedHeaderSize");
    file.headerCrc = Optional(record, "HeaderCRC");
    file.nameHash = CrcUpdate(0, file.srcFileName.data(), file.srcFileName.size());
    file.localPath = installDirectory + target;
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

std::string FileUrl(const std::string& prefix, const std::string& srcFileName, uint32_t fileType,
                    const std::string& suffix) {
    std::string url = prefix;
    url += '/';
    url += srcFileName;
    if (fileType == PFT_Compressed) url += ".gz";
    url += suffix;
    return url;
}

bool LinkGuard::PathIsSafe(const std::string& relative, bool& exists, int64_t& size, int64_t& lastWriteMs) {
    exists = false;
    size = 0;
    lastWriteMs = 0;
    HY_OS::FileInfo info;
    size_t cut = relative.rfind('/');
    if (cut != std::string::npos) {
        std::string directory = relative.substr(0, cut);
        if (!m_safeDirectories.count(directory)) {
            // Each directory on the way, from the top: a link anywhere is refused; a directory
            // that does not exist yet will be made by the download, not followed.
            size_t at = 0;
            while (at != std::string::npos) {
                size_t next = directory.find('/', at);
                std::string prefix = directory.substr(0, next);
                if (!m_safeDirectories.count(prefix)) {
                    if (!HY_OS::GetLinkInfo(m_root + prefix, info)) break;
                    if (info.isSymbolicLink) return false;
                    // A file in a directory's place makes the download fail; nothing is followed.
                    if (!info.isDirectory) break;
                    m_safeDirectories.insert(prefix);
                }
                at = next == std::string::npos ? next : next + 1;
            }
        }
    }
    if (!HY_OS::GetLinkInfo(m_root + relative, info)) return true;
    if (info.isSymbolicLink) return false;
    exists = info.isRegular;
    size = info.size;
    lastWriteMs = info.lastWriteMs;
    return true;
}

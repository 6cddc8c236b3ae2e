#include "LatestFileList.h"

#include "DMLDatabase.h"
#include "FileBinary.h"
#include "FileXML.h"
#include "HttpEngine.h"
#include "LogMessage.h"
#include "OsFile.h"
#include "OsFileInfo.h"
#include "PatcherTypes.h"

namespace {

constexpr const char* kAboutTable = "About";

const char* ExtensionOf(uint32_t type) {
    switch (type) {
        case LFT_Xml: return ".xml";
        case LFT_Binary: return ".bin";
        default: return nullptr;
    }
}

}  // namespace

LatestFileList::LatestFileList() = default;

LatestFileList::~LatestFileList() = default;

bool LatestFileList::IsPlainFileName(const std::string& name) {
    if (name.empty() || name == "." || name == "..") return false;
    return name.find_first_of(std::string("/\\:\0", 4)) == std::string::npos;
}

void LatestFileList::Unload() {
    m_loaded = false;
    m_database.reset();
}

bool LatestFileList::IsListCurrent(const std::string& cacheDirectory, uint32_t type,
                                   const std::string& fileName, uint32_t size, uint32_t crc,
                                   uint32_t version) {
    if (!m_loaded) {
        std::string path = HY_OS::JoinPath(cacheDirectory, fileName);
        HY_OS::FileInfo info;
        uint32_t fileCrc = 0;
        int64_t length = 0;
        if (HY_OS::GetFileInfo(path, info) && info.isRegular && FileCrc(path, fileCrc, &length) &&
            length <= UINT32_MAX) {
            m_directory = cacheDirectory;
            m_fileName = fileName;
            m_type = type;
            m_size = static_cast<uint32_t>(length);
            m_crc = fileCrc;
            LoadList();
        }
    }
    if (m_loaded && type == m_type && size == m_size && crc == m_crc && version == m_version &&
        fileName == m_fileName && cacheDirectory == m_directory)
        return true;
    Unload();
    m_type = type;
    return false;
}

void LatestFileList::RecordListFile(const std::string& localPath, uint32_t size, uint32_t crc) {
    m_directory = HY_OS::DirectoryPart(localPath);
    m_fileName = HY_OS::FileNamePart(localPath);
    m_size = size;
    m_crc = crc;
}

bool LatestFileList::LoadList() {
    const char* fn = "LatestFileList::LoadList";
    Unload();
    const char* extension = ExtensionOf(m_type);
    size_t dot = m_fileName.rfind('.');
    std::string base = dot == std::string::npos ? m_fileName : m_fileName.substr(0, dot);
    std::string ending = dot == std::string::npos ? std::string() : m_fileName.substr(dot);
    // The reader opens "<base>" plus the extension of its form; a name of the other form would
    // make it read a different file than the one downloaded.
    if (!extension || ending != extension) {
        HY_LOG(LL_Warning, kPatchCategory, fn, "List file '%s' does not match list type %u",
               m_fileName.c_str(), m_type);
        return false;
    }
    std::string storagePath = HY_OS::JoinPath(m_directory, base);
    auto database = std::make_unique<DMLDatabase>("LatestFileList");
    if (m_type == LFT_Xml)
        database->SetStorage(std::make_unique<FileXML>(storagePath), storagePath);
    else
        database->SetStorage(std::make_unique<FileBinary>(storagePath), storagePath);

    // Read table by table, so that a table cut short or damaged fails the whole list instead of
    // leaving the package with fewer files than the server listed.
    DMLStorage& storage = *database->Storage();
    if (!storage.AccessStart(*database)) {
        HY_LOG(LL_Warning, kPatchCategory, fn, "Unable to open list file '%s'", m_fileName.c_str());
        return false;
    }
    bool good = true;
    if (storage.HasTableList()) {
        DMLTable list(kDMLTableList, database.get());
        good = storage.LoadTableList(list, *database);
        for (size_t i = 0; good && i < list.RecordCount(); ++i) {
            const DMLRecord* record = list.RecordAt(i);
            const DMLField* name = record ? record->FindField("Name") : nullptr;
            if (!name) {
                good = false;
                break;
            }
            std::string tableName = name->ToStr();
            if (database->FindTable(tableName)) {
                HY_LOG(LL_Warning, kPatchCategory, fn, "List file '%s' names table '%s' twice",
                       m_fileName.c_str(), tableName.c_str());
                good = false;
                break;
            }
            good = storage.LoadTable(database->MakeTable(tableName, false), *database);
        }
    } else {
        while (good && !database->AtEnd()) {
            if (!storage.LoadTable(nullptr, *database)) good = database->AtEnd();
        }
    }
    storage.AccessEnd();
    if (!good) {
        HY_LOG(LL_Warning, kPatchCategory, fn, "List file '%s' is damaged or cut short", m_fileName.c_str());
        return false;
    }
    const DMLTable* about = database->FindTable(kAboutTable);
    const DMLRecord* first = about ? about->RecordAt(0) : nullptr;
    const DMLField* version = first ? first->FindField("Version") : nullptr;
    if (!version) {
        HY_LOG(LL_Warning, kPatchCategory, fn, "List file '%s' has no version in its \"About\" table",
               m_fileName.c_str());
        return false;
    }
    m_version = version->GetUInt();
    m_database = std::move(database);
    m_loaded = true;
    return true;
}

const DMLTable* LatestFileList::FindPackage(const std::string& packageName) const {
    if (!m_loaded || !m_database || packageName == kAboutTable) return nullptr;
    return m_database->FindTable(packageName);
}

#include "ResourceManager.h"

#include "DMLDatabase.h"
#include "FileBinary.h"
#include "FileXML.h"
#include "LogMessage.h"
#include "OsFile.h"
#include "WadSource.h"

namespace {

std::shared_ptr<ResourceManager>& CurrentSlot() {
    static std::shared_ptr<ResourceManager> current;
    return current;
}

std::mutex& CurrentLock() {
    static std::mutex lock;
    return lock;
}

bool EndsWith(const std::string& text, const char* suffix) {
    size_t n = std::char_traits<char>::length(suffix);
    return text.size() >= n && text.compare(text.size() - n, n, suffix) == 0;
}

}  // namespace

bool IsSafeRelativeName(const std::string& name) {
    if (name.empty() || name.front() == '/' || name.front() == '\\') return false;
    if (name.find('\0') != std::string::npos || name.find(':') != std::string::npos) return false;
    size_t start = 0;
    while (start <= name.size()) {
        size_t end = name.find_first_of("/\\", start);
        if (end == std::string::npos) end = name.size();
        std::string part = name.substr(start, end - start);
        if (part.empty() || part == "." || part == "..") return false;
        start = end + 1;
    }
    return true;
}

ResourceManager::ResourceManager(std::string dataDirectory)
    : m_dataDirectory(std::move(dataDirectory)),
      m_root(HY_OS::JoinPath(m_dataDirectory, kRootArchiveName)) {}

std::shared_ptr<ResourceManager> ResourceManager::Current() {
    std::lock_guard<std::mutex> lock(CurrentLock());
    return CurrentSlot();
}

void ResourceManager::SetCurrent(std::shared_ptr<ResourceManager> manager) {
    std::lock_guard<std::mutex> lock(CurrentLock());
    CurrentSlot() = std::move(manager);
}

int ResourceManager::FindInRootArchive(const std::string& fileName, std::string& bytes) {
    std::lock_guard<std::mutex> lock(m_lock);
    HY_OS::File file = HY_OS::File::Open(m_root.Path(), HY_OS::FileMode::Read);
    if (!file.IsOpen()) return AR_NotFound;
    WadFileSource source(file);
    if (!m_root.LoadWadHeader(source, WadFile::RM_IfChanged)) return AR_NotFound;
    const WadElement* element = m_root.FindElement(fileName);
    if (!element) return AR_NotFound;
    switch (ReadElementData(*element, source, bytes)) {
    case ED_Ok:
        break;
    case ED_BadCrc:
    case ED_Corrupt:
        bytes.clear();
        HY_LOG(LL_Error, kResourceCategory, "ResourceManager::FindAsset",
               "Element %s of %s fails its CRC check.", fileName.c_str(), m_root.Path().c_str());
        return AR_Unreadable;
    case ED_NotInflatable:
        HY_LOG(LL_Error, kResourceCategory, "ResourceManager::FindAsset",
               "Element %s of %s does not inflate to %u bytes.", fileName.c_str(),
               m_root.Path().c_str(), element->Size());
        return AR_Unreadable;
    case ED_Unreadable:
        return AR_Unreadable;
    }
    return AR_Loaded;
}

int ResourceManager::FindAsset(const std::string& fileName, std::string& bytes, std::string* origin) {
    int inArchive = FindInRootArchive(fileName, bytes);
    if (inArchive == AR_Loaded) {
        if (origin) *origin = std::string(kRootArchiveName) + ":" + fileName;
        return AR_Loaded;
    }
    if (!IsSafeRelativeName(fileName)) {
        HY_LOG(LL_Error, kResourceCategory, "ResourceManager::FindAsset",
               "Refusing asset name %s outside the data directory.", fileName.c_str());
        return inArchive;
    }
    std::string path = HY_OS::JoinPath(m_dataDirectory, fileName);
    if (HY_OS::IsDirectory(path) || !HY_OS::FileExists(path)) return inArchive;
    if (!HY_OS::ReadWholeFile(path, bytes)) {
        HY_LOG(LL_Error, kResourceCategory, "ResourceManager::FindAsset", "Unable to read %s.",
               path.c_str());
        return AR_Unreadable;
    }
    if (origin) *origin = path;
    return AR_Loaded;
}

int ResourceManager::RequestAsset(const std::string& fileName, DMLDatabase& database) {
    std::string bytes;
    std::string origin;
    int found = FindAsset(fileName, bytes, &origin);
    if (found != AR_Loaded) return found;
    if (EndsWith(fileName, ".bin")) {
        database.SetStorage(FileBinary::FromBytes(origin, std::move(bytes)));
    } else {
        database.SetStorage(FileXML::FromBytes(origin, std::move(bytes)));
    }
    return database.Load() ? AR_Loaded : AR_Unreadable;
}

// Finds named assets for the program. An asset is looked up first as an element of the archive
// "Root.wad" in the data directory (a compressed element is inflated), then as a loose file of
// that name in the data directory. Table files found this way are loaded into a database.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "WadElementData.h"
#include "WadFile.h"

class DMLDatabase;

inline constexpr const char* kRootArchiveName = "Root.wad";
inline constexpr const char* kResourceCategory = "RESOURCE_MGR";

// Results of RequestAsset.
enum AssetResult { AR_Loaded = 0, AR_NotFound = 1, AR_Unreadable = -1 };

class ResourceManager {
public:
    explicit ResourceManager(std::string dataDirectory);

    // The asset's bytes: 0 found, 1 not found, -1 found but unreadable (logged).
    int FindAsset(const std::string& fileName, std::string& bytes, std::string* origin = nullptr);
    // Loads the named table file (".bin" names in the binary form, all others in the XML form)
    // into `database`: 0 loaded, 1 not found, -1 unreadable or not a table file.
    int RequestAsset(const std::string& fileName, DMLDatabase& database);

    const std::string& DataDirectory() const { return m_dataDirectory; }

    // The resource manager the message manager uses; none until one is installed.
    static std::shared_ptr<ResourceManager> Current();
    static void SetCurrent(std::shared_ptr<ResourceManager> manager);

private:
    int FindInRootArchive(const std::string& fileName, std::string& bytes);

    std::string m_dataDirectory;
    std::mutex m_lock;
    WadFile m_root;
};

// True for a relative name without "." or ".." components, usable below a directory.
bool IsSafeRelativeName(const std::string& name);

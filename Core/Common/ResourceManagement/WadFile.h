// A WAD archive: the fixed header, the entry table and, for dynamic archives, the ".utd" side
// file that lists which elements hold real data (the others are marked stale).
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "WadElement.h"

class WadSource;

inline constexpr const char* kWadFileCategory = "WAD_FILE";
inline constexpr char kWadMagic[5] = {'H', 'Y', 'W', 'A', 'D'};

class WadFile {
public:
    // Reload modes of Open and LoadWadHeader.
    enum ReloadMode { RM_Always = 0, RM_IfNotLoaded = 1, RM_IfChanged = 2 };
    static constexpr size_t kFixedHeaderSize = 13;

    explicit WadFile(std::string path);

    // Opens the archive at the path, loads its header and closes it again.
    bool Open(int reloadMode = RM_Always);
    // Reads header and entries from `source`; the ".utd" file is looked for beside the path.
    bool LoadWadHeader(WadSource& source, int reloadMode = RM_Always);

    const WadElement* FindElement(const std::string& name) const;
    size_t ElementCount() const { return m_elements.size(); }
    // Elements in ascending byte-wise order of their names.
    const std::map<std::string, WadElement>& Elements() const { return m_elements; }

    const std::string& Path() const { return m_path; }
    bool IsLoaded() const { return m_tableEnd != 0; }
    uint32_t Version() const { return m_version; }
    uint8_t Flags() const { return m_flags; }
    // The first byte after header and entries; 0 when no header is loaded.
    int64_t TableEnd() const { return m_tableEnd; }
    int64_t FileLength() const { return m_fileLength; }
    bool UtdRead() const { return m_utdRead; }

private:
    struct UtdRecord {
        uint32_t packedSize;
        uint32_t crc;
    };
    void Forget();

    std::string m_path;
    std::map<std::string, WadElement> m_elements;
    uint32_t m_version = 0;
    uint8_t m_flags = 0;
    int64_t m_tableEnd = 0;
    int64_t m_fileLength = 0;
    bool m_utdRead = false;
};

#include "WadFile.h"

#include <cstring>
#include <vector>

#include "LogMessage.h"
#include "OsFile.h"
#include "WadSource.h"

namespace {

uint32_t ReadU32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

}  // namespace

WadFile::WadFile(std::string path) : m_path(std::move(path)) {}

void WadFile::Forget() {
    m_elements.clear();
    m_tableEnd = 0;
    m_utdRead = false;
}

bool WadFile::Open(int reloadMode) {
    HY_OS::File file = HY_OS::File::Open(m_path, HY_OS::FileMode::Read);
    WadFileSource source(file);
    return LoadWadHeader(source, reloadMode);
}

bool WadFile::LoadWadHeader(WadSource& source, int reloadMode) {
    int64_t length = source.IsOpen() ? source.Length() : -1;
    if (reloadMode == RM_IfNotLoaded && IsLoaded()) return true;
    if (reloadMode == RM_IfChanged && IsLoaded() && length > 0 && length == m_fileLength) return true;

    if (!source.IsOpen() || !source.Seek(0)) {
        HY_LOG(LL_Error, kWadFileCategory, "WadFile::LoadWadHeader", "WadFile not opened (%s)",
               m_path.c_str());
        return false;
    }
    uint8_t header[kFixedHeaderSize];
    if (source.Read(header, sizeof header) != static_cast<int64_t>(sizeof header)) {
        HY_LOG(LL_Error, kWadFileCategory, "WadFile::LoadWadHeader",
               "Failed loading WadFile fixed header (%s)", m_path.c_str());
        return false;
    }
    uint32_t version = ReadU32(header + 5);
    uint32_t count = ReadU32(header + 9);
    if (std::memcmp(header, kWadMagic, sizeof kWadMagic) != 0 || version == 0) {
        HY_LOG(LL_Error, kWadFileCategory, "WadFile::LoadWadHeader",
               "Bad WadFile fixed header (%s)", m_path.c_str());
        return false;
    }
    uint8_t flags = 0;
    if (version == 2 && source.Read(&flags, 1) != 1) flags = 0;

    Forget();
    std::multimap<uint32_t, UtdRecord> utd;
    {
        HY_OS::File utdFile = HY_OS::File::Open(m_path + ".utd", HY_OS::FileMode::Read);
        if (utdFile.IsOpen()) {
            m_utdRead = true;
            uint8_t record[16];
            WadFileSource utdSource(utdFile);
            while (utdSource.Read(record, sizeof record) == static_cast<int64_t>(sizeof record)) {
                utd.emplace(ReadU32(record + 4), UtdRecord{ReadU32(record + 8), ReadU32(record + 12)});
            }
        }
    }

    // Version 1 and 2 entries are read alike; the element format has no version of its own.
    int entryVersion = version > static_cast<uint32_t>(INT32_MAX) ? -1 : static_cast<int>(version);
    for (uint32_t i = 0; i < count; ++i) {
        WadElement element;
        if (!element.LoadEntry(source, entryVersion)) {
            Forget();
            return false;
        }
        if (m_utdRead) {
            bool listed = false;
            auto range = utd.equal_range(element.DataPosition());
            for (auto it = range.first; it != range.second; ++it) {
                if (it->second.packedSize == element.PackedSize() && it->second.crc == element.Crc()) {
                    listed = true;
                    break;
                }
            }
            element.SetStale(!listed);
        }
        std::string name = element.Name();
        m_elements.emplace(std::move(name), std::move(element));
    }
    m_version = version;
    m_flags = flags;
    int64_t end = source.Position();
    m_tableEnd = end > 0 ? end : 0;
    m_fileLength = length;
    return true;
}

const WadElement* WadFile::FindElement(const std::string& name) const {
    auto it = m_elements.find(name);
    return it == m_elements.end() ? nullptr : &it->second;
}

#include "CrcCache.h"

#include <cerrno>
#include <utility>

#include "LogMessage.h"
#include "OsFile.h"
#include "PatcherTypes.h"

namespace {

void PutU32(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
    p[2] = static_cast<uint8_t>(v >> 16);
    p[3] = static_cast<uint8_t>(v >> 24);
}

uint32_t GetU32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

}  // namespace

// Room for a typical package's entries is reserved, not filled: entries are made as they come.
CrcCache::CrcCache() { m_entries.reserve(kInitialEntries); }

std::string CrcCache::CacheFilePath(const std::string& packageName, const std::string& cacheDirectory) {
    std::string name = packageName;
    for (char& c : name)
        if (c == '/' || c == '\\') c = '-';
    return HY_OS::JoinPath(cacheDirectory, "CRC_" + name + ".dat");
}

void CrcCache::EnsureRoom(size_t count) {
    if (m_entries.size() < count) m_entries.resize(count);
}

void CrcCache::LoadCacheFile(const std::string& packageName, const std::string& cacheDirectory) {
    m_used = 0;
    m_remaining = 0;
    std::string path = CacheFilePath(packageName, cacheDirectory);
    int error = 0;
    HY_OS::File file = HY_OS::File::Open(path, HY_OS::FileMode::Read, &error);
    if (!file.IsOpen()) {
        HY_LOG(LL_Warning, kPatchCategory, "CrcCache::LoadCacheFile",
               "Unable to load CRC Cache file '%s'. Error: %u.", path.c_str(), static_cast<unsigned>(error));
        return;
    }
    int64_t length = file.Length();
    if (length <= 0 || length % static_cast<int64_t>(kEntryBytes) != 0) return;
    size_t count = static_cast<size_t>(length) / kEntryBytes;
    std::vector<uint8_t> bytes(static_cast<size_t>(length));
    size_t got = 0;
    while (got < bytes.size()) {
        int64_t n = file.Read(bytes.data() + got, bytes.size() - got);
        if (n <= 0) return;  // a short read leaves the cache empty
        got += static_cast<size_t>(n);
    }
    EnsureRoom(count);
    for (size_t i = 0; i < count; ++i) {
        const uint8_t* p = bytes.data() + i * kEntryBytes;
        CrcCacheEntry& e = m_entries[i];
        e.nameHash = GetU32(p);
        e.size = GetU32(p + 4);
        e.crc = GetU32(p + 8);
        e.reserved = 0;
        e.lastWriteMs = static_cast<uint64_t>(GetU32(p + 16)) | static_cast<uint64_t>(GetU32(p + 20)) << 32;
    }
    m_remaining = count;
}

bool CrcCache::SaveCacheFile(const std::string& packageName, const std::string& cacheDirectory) {
    std::string path = CacheFilePath(packageName, cacheDirectory);
    std::vector<uint8_t> bytes(m_used * kEntryBytes);
    for (size_t i = 0; i < m_used; ++i) {
        uint8_t* p = bytes.data() + i * kEntryBytes;
        const CrcCacheEntry& e = m_entries[i];
        PutU32(p, e.nameHash);
        PutU32(p + 4, e.size);
        PutU32(p + 8, e.crc);
        PutU32(p + 12, 0);
        PutU32(p + 16, static_cast<uint32_t>(e.lastWriteMs));
        PutU32(p + 20, static_cast<uint32_t>(e.lastWriteMs >> 32));
    }
    // The new content goes to a file of its own and replaces the old one by a rename: whenever
    // the run ends, the cache file is whole, old or new.
    std::string temporary = path + ".tmp";
    int error = 0;
    HY_OS::File file = HY_OS::File::Open(temporary, HY_OS::FileMode::CreateWrite, &error);
    if (!file.IsOpen()) {
        HY_LOG(LL_Warning, kPatchCategory, "CrcCache::SaveCacheFile",
               "Unable to save CRC Cache file '%s'. Error: %u.", path.c_str(), static_cast<unsigned>(error));
        return false;
    }
    bool written = file.Write(bytes.data(), bytes.size());
    error = errno;
    m_bytesWritten += bytes.size();
    file.Close();
    if (!written || !HY_OS::RenameFile(temporary, path)) {
        if (written) error = errno;
        HY_LOG(LL_Warning, kPatchCategory, "CrcCache::SaveCacheFile",
               "Unable to save CRC Cache file '%s'. Error: %u.", path.c_str(), static_cast<unsigned>(error));
        HY_OS::DeleteFile(temporary);
        return false;
    }
    return true;
}

void CrcCache::AddEntry(uint32_t nameHash, uint32_t size, uint32_t crc, uint64_t lastWriteMs) {
    EnsureRoom(m_used + m_remaining + 1);
    if (m_remaining > 0) m_entries[m_used + m_remaining] = m_entries[m_used];
    m_entries[m_used] = CrcCacheEntry{nameHash, size, crc, 0, lastWriteMs};
    ++m_used;
}

long CrcCache::FindEntry(uint32_t nameHash, uint32_t size, uint32_t crc) const {
    // Confirmed entries are moved to the front in list order and saved that way, so in a steady
    // state the entry sought is the first unconfirmed one.
    for (size_t i = m_used; i < m_used + m_remaining; ++i) {
        const CrcCacheEntry& e = m_entries[i];
        if (e.nameHash == nameHash && e.size == size && e.crc == crc) return static_cast<long>(i);
    }
    return -1;
}

void CrcCache::ConfirmEntry(long index) {
    size_t i = static_cast<size_t>(index);
    if (index < 0 || i < m_used || i >= m_used + m_remaining) return;
    std::swap(m_entries[i], m_entries[m_used]);
    ++m_used;
    --m_remaining;
}

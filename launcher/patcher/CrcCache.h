// The CRC cache of one package: for every file of the package that was last found current or
// written, its name hash, size, CRC and the last-write time the file had then. A later run that
// finds the file with exactly that size and time need not read it again.
//
// The entries sit in one array: the first `used` were confirmed or written in this run, the
// `remaining` after them were loaded from the file and are not confirmed yet. The file
// "<cache directory>/CRC_<package>.dat" holds nothing but entries of six little-endian 32-bit
// words (name hash, size, CRC, 0, last-write time low and high). It is replaced as a whole
// through a temporary file, so a run killed at any moment leaves the old cache or the new one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct CrcCacheEntry {
    uint32_t nameHash = 0;
    uint32_t size = 0;
    uint32_t crc = 0;
    uint32_t reserved = 0;
    uint64_t lastWriteMs = 0;  // milliseconds since 1970
};

class CrcCache {
public:
    static constexpr size_t kEntryBytes = 24;
    static constexpr size_t kInitialEntries = 8000;

    CrcCache();

    // "<cache directory>/CRC_<package>.dat", each slash and backslash of the name a hyphen.
    static std::string CacheFilePath(const std::string& packageName, const std::string& cacheDirectory);

    // Loads the package's cache file: `used` = 0, `remaining` = its entries. A missing file is
    // logged and leaves the cache empty; a file whose length is not a multiple of 24 is ignored.
    void LoadCacheFile(const std::string& packageName, const std::string& cacheDirectory);
    // Writes the `used` entries; false (logged) when the file could not be replaced, in which
    // case the previous file stays as it was.
    bool SaveCacheFile(const std::string& packageName, const std::string& cacheDirectory);

    // Writes an entry at position `used` (the unconfirmed entry there first moves behind the
    // others) and counts it as used.
    void AddEntry(uint32_t nameHash, uint32_t size, uint32_t crc, uint64_t lastWriteMs);
    // The index of the first unconfirmed entry for (name hash, size, CRC), or -1.
    long FindEntry(uint32_t nameHash, uint32_t size, uint32_t crc) const;
    // Moves the unconfirmed entry at `index` to position `used` and counts it as used.
    void ConfirmEntry(long index);
    // Forgets the unconfirmed entries.
    void DropUnconfirmed() { m_remaining = 0; }

    size_t Used() const { return m_used; }
    // Bytes written to cache files by this object's saves so far.
    uint64_t BytesWritten() const { return m_bytesWritten; }
    size_t Remaining() const { return m_remaining; }
    const CrcCacheEntry& At(size_t index) const { return m_entries[index]; }

private:
    void EnsureRoom(size_t count);

    std::vector<CrcCacheEntry> m_entries;
    size_t m_used = 0;
    size_t m_remaining = 0;
    uint64_t m_bytesWritten = 0;
};

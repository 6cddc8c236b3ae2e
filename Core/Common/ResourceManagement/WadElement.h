// One element of a WAD archive as its entry describes it: where its stored bytes lie, how large
// they are raw and stored, whether they are zlib-compressed, and their CRC.
#pragma once

#include <cstdint>
#include <string>

class WadSource;

inline constexpr const char* kWadElementCategory = "WAD_ELEM";

class WadElement {
public:
    enum EntryState { ES_NoEntry = 0, ES_EntryLoaded = 1 };
    // Fixed part of an entry, before the name.
    static constexpr size_t kEntryFixedSize = 21;
    static constexpr uint32_t kMaxNameLength = 256;  // counting the terminating NUL

    // Reads one entry at the source's current position.
    bool LoadEntry(WadSource& source, int version);
    // The stored bytes (packed-size bytes at the data position); false after logging why.
    bool ReadPackedData(WadSource& source, std::string& out) const;

    const std::string& Name() const { return m_name; }
    uint32_t Size() const { return m_size; }
    uint32_t PackedSize() const { return m_packedSize; }
    bool IsCompressed() const { return m_compressed; }
    uint32_t Crc() const { return m_crc; }
    uint32_t DataPosition() const { return m_dataPosition; }
    EntryState State() const { return m_state; }
    bool IsStale() const { return m_stale; }
    void SetStale(bool stale) { m_stale = stale; }

private:
    std::string m_name;
    uint32_t m_size = 0;
    uint32_t m_packedSize = 0;
    uint32_t m_crc = 0;
    uint32_t m_dataPosition = 0;
    bool m_compressed = false;
    bool m_stale = false;
    EntryState m_state = ES_NoEntry;
};

// Where an archive's bytes come from: an open file or bytes in memory. Reads are sequential from
// the current position, as the archive readers walk the header and entry table.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "OsFile.h"

class WadSource {
public:
    virtual ~WadSource() = default;
    // Length in bytes, or -1 when unknown.
    virtual int64_t Length() = 0;
    virtual bool Seek(int64_t position) = 0;
    // Reads up to `size` bytes; the count read, or -1.
    virtual int64_t Read(void* data, size_t size) = 0;
    virtual int64_t Position() const = 0;
    virtual bool IsOpen() const = 0;
};

class WadFileSource : public WadSource {
public:
    explicit WadFileSource(HY_OS::File& file) : m_file(file) {}
    int64_t Length() override { return m_file.Length(); }
    bool Seek(int64_t position) override;
    int64_t Read(void* data, size_t size) override;
    int64_t Position() const override { return m_position; }
    bool IsOpen() const override { return m_file.IsOpen(); }

private:
    HY_OS::File& m_file;
    int64_t m_position = 0;
};

class WadMemorySource : public WadSource {
public:
    explicit WadMemorySource(const std::string& bytes) : m_bytes(bytes) {}
    int64_t Length() override { return static_cast<int64_t>(m_bytes.size()); }
    bool Seek(int64_t position) override;
    int64_t Read(void* data, size_t size) override;
    int64_t Position() const override { return m_position; }
    bool IsOpen() const override { return true; }

private:
    const std::string& m_bytes;
    int64_t m_position = 0;
};

#include "WadSource.h"

#include <cstring>

bool WadFileSource::Seek(int64_t position) {
    if (!m_file.IsOpen() || position < 0 || !m_file.Seek(position)) return false;
    m_position = position;
    return true;
}

int64_t WadFileSource::Read(void* data, size_t size) {
    if (!m_file.IsOpen()) return -1;
    // Loops over short reads so that callers see a short count only at the end of the file.
    size_t total = 0;
    while (total < size) {
        int64_t got = m_file.Read(static_cast<char*>(data) + total, size - total);
        if (got < 0) return total > 0 ? static_cast<int64_t>(total) : -1;
        if (got == 0) break;
        total += static_cast<size_t>(got);
    }
    m_position += static_cast<int64_t>(total);
    return static_cast<int64_t>(total);
}

bool WadMemorySource::Seek(int64_t position) {
    if (position < 0) return false;
    m_position = position;
    return true;
}

int64_t WadMemorySource::Read(void* data, size_t size) {
    int64_t length = static_cast<int64_t>(m_bytes.size());
    if (m_position >= length) return 0;
    size_t count = static_cast<size_t>(length - m_position);
    if (count > size) count = size;
    std::memcpy(data, m_bytes.data() + m_position, count);
    m_position += static_cast<int64_t>(count);
    return static_cast<int64_t>(count);
}

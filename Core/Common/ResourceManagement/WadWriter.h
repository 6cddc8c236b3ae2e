// Builds WAD archives by the layout rule: the stored bytes of the elements lie back to back after
// the entry table, in ascending byte-wise order of their names. Elements are stored raw or
// zlib-compressed.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class WadWriter {
public:
    // Adds an element from its data; with `compress` the data is stored as one zlib stream.
    // False for a name that is empty, longer than 255 bytes, holds a NUL or is already present.
    bool Add(const std::string& name, const std::string& data, bool compress);
    // Adds an element whose stored bytes are already made (raw, or a zlib stream inflating to
    // `size` bytes).
    bool AddStored(const std::string& name, std::string stored, uint32_t size, bool compressed);

    // The whole archive; false when it would not fit the 32-bit offsets. Version 2 writes the
    // flags byte.
    bool Build(std::string& out, uint32_t version = 1, uint8_t flags = 0) const;
    // Builds and writes the archive atomically.
    bool WriteFile(const std::string& path, uint32_t version = 1, uint8_t flags = 0) const;

    size_t ElementCount() const { return m_elements.size(); }

private:
    struct Element {
        std::string name;
        std::string stored;
        uint32_t size = 0;
        bool compressed = false;
    };
    bool ValidName(const std::string& name) const;

    std::vector<Element> m_elements;
};

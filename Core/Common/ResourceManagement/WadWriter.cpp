#include "WadWriter.h"

#include <zlib.h>

#include <algorithm>

#include "Crc.h"
#include "OsFile.h"
#include "WadFile.h"

namespace {

void AppendU32(std::string& out, uint32_t value) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

}  // namespace

bool WadWriter::ValidName(const std::string& name) const {
    if (name.empty() || name.size() >= WadElement::kMaxNameLength) return false;
    if (name.find('\0') != std::string::npos) return false;
    return std::none_of(m_elements.begin(), m_elements.end(),
                        [&](const Element& e) { return e.name == name; });
}

bool WadWriter::Add(const std::string& name, const std::string& data, bool compress) {
    if (data.size() > UINT32_MAX) return false;
    if (!compress) return AddStored(name, data, static_cast<uint32_t>(data.size()), false);
    uLongf bound = compressBound(static_cast<uLong>(data.size()));
    std::string stored(bound, '\0');
    if (compress2(reinterpret_cast<Bytef*>(stored.data()), &bound,
                  reinterpret_cast<const Bytef*>(data.data()), static_cast<uLong>(data.size()),
                  Z_BEST_COMPRESSION) != Z_OK) {
        return false;
    }
    stored.resize(bound);
    return AddStored(name, std::move(stored), static_cast<uint32_t>(data.size()), true);
}

bool WadWriter::AddStored(const std::string& name, std::string stored, uint32_t size,
                          bool compressed) {
    if (!ValidName(name) || stored.size() > UINT32_MAX) return false;
    if (!compressed && stored.size() != size) return false;
    m_elements.push_back(Element{name, std::move(stored), size, compressed});
    return true;
}

bool WadWriter::Build(std::string& out, uint32_t version, uint8_t flags) const {
    std::vector<const Element*> order;
    for (const Element& e : m_elements) order.push_back(&e);
    // std::string compares bytes as unsigned values, a prefix first: the layout order.
    std::sort(order.begin(), order.end(),
              [](const Element* a, const Element* b) { return a->name < b->name; });

    uint64_t tableEnd = WadFile::kFixedHeaderSize + (version == 2 ? 1 : 0);
    for (const Element* e : order) tableEnd += 22 + e->name.size();
    uint64_t position = tableEnd;
    for (const Element* e : order) position += e->stored.size();
    if (position > UINT32_MAX) return false;

    std::string archive;
    archive.reserve(static_cast<size_t>(position));
    archive.append(kWadMagic, sizeof kWadMagic);
    AppendU32(archive, version);
    AppendU32(archive, static_cast<uint32_t>(order.size()));
    if (version == 2) archive.push_back(static_cast<char>(flags));
    position = tableEnd;
    for (const Element* e : order) {
        AppendU32(archive, static_cast<uint32_t>(position));
        AppendU32(archive, e->size);
        AppendU32(archive, e->compressed ? static_cast<uint32_t>(e->stored.size()) : 0xFFFFFFFFu);
        archive.push_back(e->compressed ? 1 : 0);
        AppendU32(archive, CrcUpdate(0, e->stored.data(), e->stored.size()));
        AppendU32(archive, static_cast<uint32_t>(e->name.size() + 1));
        archive.append(e->name);
        archive.push_back('\0');
        position += e->stored.size();
    }
    for (const Element* e : order) archive += e->stored;
    out = std::move(archive);
    return true;
}

bool WadWriter::WriteFile(const std::string& path, uint32_t version, uint8_t flags) const {
    std::string archive;
    return Build(archive, version, flags) && HY_OS::WriteFileAtomic(path, archive);
}

#include "FileBinary.h"

#include <algorithm>
#include <atomic>
#include <cstring>

#include "DMLDatabase.h"
#include "DMLMessageTypes.h"
#include "LogMessage.h"

namespace {

constexpr uint8_t kAccessAll = 255;

std::atomic<DMLMessageCodec*>& CodecSlot() {
    static std::atomic<DMLMessageCodec*> codec{nullptr};
    return codec;
}

}  // namespace

DMLMessageCodec* GetDMLMessageCodec() { return CodecSlot().load(std::memory_order_acquire); }
void SetDMLMessageCodec(DMLMessageCodec* codec) { CodecSlot().store(codec, std::memory_order_release); }

FileBinary::FileBinary(const std::string& path) : DMLStorage(path + ".bin"), m_path(path + ".bin") {}

FileBinary::FileBinary(std::string name, std::string bytes)
    : DMLStorage(std::move(name)), m_inMemory(true), m_memory(std::move(bytes)), m_view(m_memory) {}

std::unique_ptr<FileBinary> FileBinary::FromBytes(std::string name, std::string bytes) {
    return std::unique_ptr<FileBinary>(new FileBinary(std::move(name), std::move(bytes)));
}

std::unique_ptr<FileBinary> FileBinary::FromView(std::string name, std::string_view bytes) {
    auto storage = std::unique_ptr<FileBinary>(new FileBinary(std::move(name), std::string()));
    storage->m_view = bytes;
    return storage;
}

bool FileBinary::AccessStart(DMLDatabase& database) {
    m_begin = m_end = 0;
    if (m_inMemory) {
        // Bytes in memory are one window holding everything.
        m_data = reinterpret_cast<const uint8_t*>(m_view.data());
        m_end = m_capacity = m_view.size();
        return true;
    }
    int error = 0;
    m_file = HY_OS::File::Open(m_path, HY_OS::FileMode::Read, &error);
    if (!m_file.IsOpen()) {
        HY_LOG(LL_Status, kDataLayerCategory, "FileBinary::AccessStart", "Couldn't open %s [%s]",
               m_path.c_str(), "DATABASE");
        return false;
    }
    m_fileLength = m_file.Length();
    m_fileRead = 0;
    m_buffer.assign(kBufferSize, 0);
    m_data = m_buffer.data();
    m_capacity = kBufferSize;
    LoadMoreBuffer();
    return true;
}

void FileBinary::AccessEnd() {
    m_file.Close();
    m_buffer.clear();
    m_buffer.shrink_to_fit();
    m_begin = m_end = m_capacity = 0;
    m_data = nullptr;
}

bool FileBinary::LoadMoreBuffer() {
    if (m_inMemory || !m_file.IsOpen()) return false;
    if (m_begin > 0) {
        std::memmove(m_buffer.data(), m_buffer.data() + m_begin, m_end - m_begin);
        m_end -= m_begin;
        m_begin = 0;
    }
    if (m_end == m_capacity) return false;
    int64_t got = m_file.Read(m_buffer.data() + m_end, m_capacity - m_end);
    if (got <= 0) return false;
    m_end += static_cast<size_t>(got);
    m_fileRead += got;
    return true;
}

size_t FileBinary::BytesLeft() const {
    if (m_inMemory) return Available();
    return Available() + static_cast<size_t>(m_fileLength > m_fileRead ? m_fileLength - m_fileRead : 0);
}

int FileBinary::DecodeNext(DMLRecord& record) {
    DMLMessageCodec* codec = GetDMLMessageCodec();
    if (!codec) {
        HY_LOG(LL_Error, kDataLayerCategory, "FileBinary::LoadTable",
               "ERROR in FileBinary::LoadTable.");
        return -1;
    }
    for (;;) {
        int used = codec->DecodeMessage(record, m_data + m_begin, Available(), kAccessAll);
        if (used == -1) {
            if (!LoadMoreBuffer()) {
                HY_LOG(LL_Error, kDataLayerCategory, "FileBinary::LoadMoreBuffer",
                       "LoadMoreBuffer() Failed to load enough data for fromBinary (or buffer "
                       "too small).");
                return 0;
            }
            continue;
        }
        if (used <= 0 || static_cast<size_t>(used) > Available()) {
            HY_LOG(LL_Error, kDataLayerCategory, "FileBinary::LoadTable",
                   "ERROR in FileBinary::LoadTable.");
            return -1;
        }
        m_begin += static_cast<size_t>(used);
        return 1;
    }
}

bool FileBinary::LoadTableList(DMLTable& list, DMLDatabase& database) {
    return LoadTable(&list, database);
}

bool FileBinary::LoadTable(DMLTable* table, DMLDatabase& database) {
    if (!table) {
        HY_LOG(LL_Error, kDataLayerCategory, "FileBinary::LoadTable",
               "FileBinary::LoadTable: Attempted to load NULL Binary Table.");
        return false;
    }
    while (Available() < 4) {
        if (!LoadMoreBuffer()) {
            HY_LOG(LL_Error, kDataLayerCategory, "FileBinary::LoadMoreBuffer",
                   "LoadMoreBuffer() Failed to load enough data for fromBinary (or buffer too "
                   "small).");
            return false;
        }
    }
    const uint8_t* p = m_data + m_begin;
    uint32_t count = static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
                     (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
    m_begin += 4;
    if (count == 0) return true;

    DMLRecord schema;
    if (DecodeNext(schema) != 1) return false;
    if (schema.ServiceId() != DMLSpecialTypes::kBaseService ||
        schema.MessageType() != DMLSpecialTypes::CustomDict()) {
        // Anything but a dictionary would leave the records decoded against a stale layout.
        HY_LOG(LL_Error, kDataLayerCategory, "FileBinary::LoadTable",
               "ERROR in FileBinary::LoadTable.");
        return false;
    }
    schema.RemoveField(kDMLTargetTable);
    table->SetPrototype(schema);

    // The count comes from the file: room is made only for as many records as the bytes left
    // can hold (every record message has at least its 2-byte header).
    table->ReserveRecords(table->RecordCount() + std::min<size_t>(count, BytesLeft() / 2));
    // The records and their fields share the table's arena; it closes when the section is read,
    // so that later changes to the records take heap memory.
    DMLArenaRef arena = DMLArena::Make();
    struct CloseArena {
        DMLArena* arena;
        ~CloseArena() { arena->Close(); }
    } closeArena{arena.get()};
    for (uint32_t i = 0; i < count; ++i) {
        DMLRecordRef record = DMLRecordRef::MakeIn(*arena);
        int result = DecodeNext(*record);
        if (result == 0) return false;
        if (result < 0) return true;  // a decoding error ends the table with what was read
        record->SetMessage(false);
        record->SetServiceId(0);
        record->SetMessageType(0);
        record->SetModified(false);
        table->AppendRecord(std::move(record));
    }
    return true;
}

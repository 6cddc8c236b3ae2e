#include "DMLRecord.h"

#include <cstring>
#include <new>

#include "DMLTable.h"
#include "LogMessage.h"

DMLRecord* DMLRecord::CreateIn(DMLArena& arena) {
    void* memory = arena.Allocate(sizeof(DMLRecord), alignof(DMLRecord));
    if (!memory) return new DMLRecord();
    auto* record = new (memory) DMLRecord();
    arena.AddRef();
    record->m_arena = &arena;
    return record;
}

DMLRecord::DMLRecord(const DMLRecord& other) { *this = other; }

DMLRecord& DMLRecord::operator=(const DMLRecord& other) {
    if (&other == this) return *this;
    m_isMessage = other.m_isMessage;
    m_serviceId = other.m_serviceId;
    m_msgType = other.m_msgType;
    m_accessLevel = other.m_accessLevel;
    m_fixedLength = other.m_fixedLength;
    m_fixedSize = other.m_fixedSize;
    m_modified = other.m_modified;
    m_locked = other.m_locked;
    m_deleted = other.m_deleted;
    // A copy is independent of the original: it is not one of the table's records, so it takes
    // no table (its keys would otherwise sit in an index that may outlive neither of them).
    CopyEntriesFrom(other);
    return *this;
}

DMLRecord::~DMLRecord() {
    if (m_refCount.load(std::memory_order_relaxed) != 0) {
        HY_LOG(LL_Error, kDataLayerCategory, "DMLRecord::~DMLRecord",
               "Deleting Record with Active References.");
        HY_LOG(LL_Error, kDataLayerCategory, "DMLRecord::~DMLRecord", "Record: %s",
               ToText(DTF_Xml).c_str());
    }
    if (m_table) m_table->RemoveRecordKeys(*this);
    FreeChunks();
}

void DMLRecord::Release() {
    if (m_refCount.fetch_sub(1, std::memory_order_acq_rel) != 1) return;
    if (DMLArena* arena = m_arena) {
        // The memory stays with the arena; the arena goes when its last record has gone.
        this->~DMLRecord();
        arena->Release();
    } else {
        delete this;
    }
}

void DMLRecord::EntryList::reserve(size_t count) {
    if (count <= m_capacity) return;
    auto** items = static_cast<Entry**>(::operator new(count * sizeof(Entry*)));
    if (m_size) std::memcpy(items, m_items, m_size * sizeof(Entry*));
    if (m_owned) ::operator delete(m_items);
    m_items = items;
    m_capacity = static_cast<uint32_t>(count);
    m_owned = true;
}

void DMLRecord::EntryList::erase(Entry** at) {
    std::memmove(at, at + 1, static_cast<size_t>(end() - at - 1) * sizeof(Entry*));
    --m_size;
}

void DMLRecord::EntryList::UseSlots(Entry** slots, size_t count) {
    if (m_size != 0 || count <= m_capacity) return;
    if (m_owned) ::operator delete(m_items);
    m_items = slots;
    m_capacity = static_cast<uint32_t>(count);
    m_owned = false;
}

namespace {

// Compares a stored 32-byte name with a looked-up name cut to 31 characters.
inline bool NameEquals(const char (&stored)[kDMLMaxNameLength + 1], std::string_view name) {
    size_t length = name.size() > kDMLMaxNameLength ? kDMLMaxNameLength : name.size();
    return stored[length] == '\0' && std::memcmp(stored, name.data(), length) == 0;
}

}  // namespace

DMLField* DMLRecord::FindField(std::string_view name) {
    for (auto& entry : m_entries) {
        if (NameEquals(entry->name, name)) return &entry->field;
    }
    return nullptr;
}

const DMLField* DMLRecord::FindField(std::string_view name) const {
    return const_cast<DMLRecord*>(this)->FindField(name);
}

void DMLRecord::AddChunk(size_t capacity) {
    size_t bytes = sizeof(Chunk) + capacity * sizeof(Entry);
    DMLArena* arena = OpenArena();
    void* memory = arena ? arena->Allocate(bytes, alignof(Chunk)) : nullptr;
    bool inArena = memory != nullptr;
    if (!memory) memory = ::operator new(bytes);
    Chunk* chunk = static_cast<Chunk*>(memory);
    chunk->next = nullptr;
    chunk->capacity = static_cast<uint32_t>(capacity);
    chunk->used = 0;
    chunk->inArena = inArena;
    if (m_lastChunk) {
        m_lastChunk->next = chunk;
    } else {
        m_firstChunk = chunk;
    }
    m_lastChunk = chunk;
}

void DMLRecord::FreeChunks() {
    Chunk* chunk = m_firstChunk;
    while (chunk) {
        Chunk* next = chunk->next;
        Entry* entries = chunk->Entries();
        for (size_t i = 0; i < chunk->used; ++i) entries[i].~Entry();
        if (!chunk->inArena) ::operator delete(chunk);
        chunk = next;
    }
    m_firstChunk = m_lastChunk = nullptr;
}

void DMLRecord::Reserve(size_t count) {
    if (m_entries.capacity() < count) {
        DMLArena* arena = m_entries.empty() ? OpenArena() : nullptr;
        void* slots = arena ? arena->Allocate(count * sizeof(Entry*), alignof(Entry*)) : nullptr;
        if (slots) {
            m_entries.UseSlots(static_cast<Entry**>(slots), count);
        } else {
            m_entries.reserve(count);
        }
    }
    size_t free = m_spare.size();
    if (m_lastChunk) free += m_lastChunk->capacity - m_lastChunk->used;
    size_t needed = count > m_entries.size() ? count - m_entries.size() : 0;
    if (needed > free) AddChunk(needed - free);
}

DMLRecord::Entry& DMLRecord::NewEntry() {
    Entry* entry;
    if (!m_spare.empty()) {
        entry = m_spare.back();
        m_spare.pop_back();
    } else {
        if (!m_lastChunk || m_lastChunk->used == m_lastChunk->capacity) {
            AddChunk(m_lastChunk ? m_lastChunk->capacity * 2 : 4);
        }
        entry = new (m_lastChunk->Entries() + m_lastChunk->used) Entry();
        ++m_lastChunk->used;
    }
    entry->field.SetOwner(this);
    m_entries.push_back(entry);
    return *entry;
}

DMLRecord::Entry& DMLRecord::AddEntry(std::string_view name) {
    Entry& entry = NewEntry();
    size_t length = name.size() > kDMLMaxNameLength ? kDMLMaxNameLength : name.size();
    // A name holding a NUL is kept up to the NUL, as the fixed buffer would hold it.
    std::memset(entry.name, 0, sizeof entry.name);
    std::memcpy(entry.name, name.data(), length);
    return entry;
}

DMLRecord::Entry& DMLRecord::AddEntry(const char (&name)[kDMLMaxNameLength + 1]) {
    Entry& entry = NewEntry();
    std::memcpy(entry.name, name, sizeof entry.name);
    return entry;
}

DMLField& DMLRecord::GetField(std::string_view name) {
    if (DMLField* field = FindField(name)) return *field;
    return AddEntry(name).field;
}

DMLField& DMLRecord::GetField(const char* name) {
    if (name) return GetField(std::string_view(name));
    thread_local DMLField scratch;
    scratch.Reset();
    return scratch;
}

bool DMLRecord::RemoveField(std::string_view name) {
    for (auto it = m_entries.begin(); it != m_entries.end(); ++it) {
        if (NameEquals((*it)->name, name)) {
            Entry* entry = *it;
            if (m_table) m_table->RemoveKey(&entry->field);
            m_entries.erase(it);
            entry->field.Reset();
            m_spare.push_back(entry);
            return true;
        }
    }
    return false;
}

void DMLRecord::Clear() {
    if (m_table) m_table->RemoveRecordKeys(*this);
    m_entries.clear();
    m_spare.clear();
    FreeChunks();
}

void DMLRecord::CopyEntriesFrom(const DMLRecord& other) {
    if (&other == this) return;
    Clear();
    Reserve(other.m_entries.size());
    for (const Entry* source : other.m_entries) {
        Entry& entry = AddEntry(source->name);
        entry.field.CopyFrom(source->field, false);
    }
}

bool DMLRecord::ComputeFixedLength() {
    uint32_t size = 0;
    for (const auto& entry : m_entries) {
        const DMLField& field = entry->field;
        if (!field.HasFlag(DMLF_XFER)) continue;
        if (field.Type() == DML_STRING || field.Type() == DML_WSTRING) {
            SetFixedLength(false, 0);
            return false;
        }
        size += static_cast<uint32_t>(DMLFixedBinaryWidth(field.Type()));
    }
    if (size + 2 > kDMLMaxMessageSize) {
        SetFixedLength(false, 0);
        return false;
    }
    SetFixedLength(true, static_cast<uint16_t>(size));
    return true;
}

void DMLRecord::SetLocked(bool locked) {
    if (m_deleted) return;
    m_locked = locked;
    for (auto& entry : m_entries) entry->field.SetFlag(DMLF_LOCK, locked);
}

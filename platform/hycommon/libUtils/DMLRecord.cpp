#include "DMLRecord.h"

#include <algorithm>
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
inline bool NameEquals(const char* stored, std::string_view name) {
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
    DMLArena* arena = OpenArena();
    size_t entries = sizeof(Chunk) + capacity * sizeof(Entry);
    void* memory = arena ? arena->Allocate(entries, alignof(Chunk)) : nullptr;
    bool inArena = memory != nullptr;
    if (!memory) memory = ::operator new(entries + capacity * (kDMLMaxNameLength + 1));
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
    if (m_lastChunk && (!m_lastChunk->inArena || OpenArena())) {
        free += m_lastChunk->capacity - m_lastChunk->used;
    }
    size_t needed = count > m_entries.size() ? count - m_entries.size() : 0;
    if (needed > free) AddChunk(needed - free);
}

DMLRecord::Entry& DMLRecord::NewEntry(const char* name) {
    Entry* entry;
    if (!m_spare.empty()) {
        // Only entries with names of their own are kept for reuse.
        entry = m_spare.back();
        m_spare.pop_back();
        std::memcpy(const_cast<char*>(entry->name), name, kDMLMaxNameLength + 1);
    } else {
        DMLArena* arena = OpenArena();
        // A chunk in an arena takes entries only while the arena is open to keep their names.
        if (!m_lastChunk || m_lastChunk->used == m_lastChunk->capacity ||
            (m_lastChunk->inArena && !arena)) {
            AddChunk(m_lastChunk ? std::max<size_t>(m_lastChunk->capacity * 2, 4) : 4);
        }
        Chunk* chunk = m_lastChunk;
        entry = new (chunk->Entries() + chunk->used) Entry();
        if (chunk->inArena) {
            // The arena is open (checked above), so it has room for the name.
            const char* shared = arena->InternName(name);
            entry->name = shared ? shared : kNoName;
        } else {
            char* slot = chunk->NameSlot(chunk->used);
            std::memcpy(slot, name, kDMLMaxNameLength + 1);
            entry->name = slot;
        }
        ++chunk->used;
    }
    entry->field.SetOwner(this);
    m_entries.push_back(entry);
    return *entry;
}

bool DMLRecord::OwnsName(const Entry* entry) const {
    for (Chunk* chunk = m_firstChunk; chunk; chunk = chunk->next) {
        const Entry* first = chunk->Entries();
        if (entry >= first && entry < first + chunk->used) return !chunk->inArena;
    }
    return false;
}

DMLRecord::Entry& DMLRecord::AddEntry(std::string_view name) {
    // A name holding a NUL is kept up to the NUL, as the fixed buffer would hold it.
    char buffer[kDMLMaxNameLength + 1] = {};
    std::memcpy(buffer, name.data(), std::min(name.size(), kDMLMaxNameLength));
    return NewEntry(buffer);
}

DMLRecord::Entry& DMLRecord::AddEntry(const char* name) { return NewEntry(name); }

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
            if (OwnsName(entry)) m_spare.push_back(entry);
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

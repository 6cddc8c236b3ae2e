// An ordered list of named fields: the payload of every server message and the row of every
// table. Records are reference counted (AddRef/Release, or the DMLRecordRef holder) and may also
// live on the stack or as members.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "DMLArena.h"
#include "DMLField.h"

class DMLTable;

// The longest field name kept; longer names are cut.
constexpr size_t kDMLMaxNameLength = 31;
// The largest message any binary form may produce.
constexpr size_t kDMLMaxMessageSize = 65535;

// Text forms of ToText.
enum DMLTextForm { DTF_Tagged = 0, DTF_Xml = 1, DTF_Columns = 2 };

class DMLRecord {
    static constexpr char kNoName[kDMLMaxNameLength + 1] = {};

public:
    // A field and its name: 32 bytes, zero filled, kept either in the record's own storage or,
    // for records loaded into an arena, once per table in the arena.
    struct Entry {
        const char* name = kNoName;
        DMLField field;
        std::string_view Name() const { return std::string_view(name); }
    };

    DMLRecord() = default;
    // A record whose own storage and first fields come from `arena` while it is open (see
    // DMLRecordRef::MakeIn); it keeps the arena alive.
    static DMLRecord* CreateIn(DMLArena& arena);
    // Copies header, flags and fields; the copy belongs to no table and uses the heap.
    DMLRecord(const DMLRecord& other);
    DMLRecord& operator=(const DMLRecord& other);
    virtual ~DMLRecord();

    // Reference counting: a record whose count drops to 0 through Release deletes itself (a
    // record made in an arena is destroyed and lets go of the arena).
    void AddRef() { m_refCount.fetch_add(1, std::memory_order_relaxed); }
    void Release();
    int RefCount() const { return m_refCount.load(std::memory_order_relaxed); }

    // Fields by name (names are compared over their first 31 characters, exactly).
    DMLField* FindField(std::string_view name);
    const DMLField* FindField(std::string_view name) const;
    bool HasField(std::string_view name) const { return FindField(name) != nullptr; }
    // The entry of that name, added at the end (INT 0, transfer flag) when there is none.
    DMLField& GetField(std::string_view name);
    // Without a name: a scratch field that belongs to no record, reset at every call.
    DMLField& GetField(const char* name);
    bool RemoveField(std::string_view name);
    void Clear();
    // Makes room for `count` fields in one allocation (a hint; fields never move once added).
    void Reserve(size_t count);

    size_t FieldCount() const { return m_entries.size(); }
    const Entry& EntryAt(size_t index) const { return *m_entries[index]; }
    Entry& EntryAt(size_t index) { return *m_entries[index]; }

    // Copies only the entries of `other` (each field with CopyFrom), keeping this record's header.
    void CopyEntriesFrom(const DMLRecord& other);

    // Header properties.
    bool IsMessage() const { return m_isMessage; }
    void SetMessage(bool isMessage) { m_isMessage = isMessage; }
    uint8_t ServiceId() const { return m_serviceId; }
    void SetServiceId(uint8_t id) { m_serviceId = id; }
    uint8_t MessageType() const { return m_msgType; }
    void SetMessageType(uint8_t type) { m_msgType = type; }
    uint8_t AccessLevel() const { return m_accessLevel; }
    void SetAccessLevel(uint8_t level) { m_accessLevel = level; }
    bool IsFixedLength() const { return m_fixedLength; }
    uint16_t FixedSize() const { return m_fixedSize; }
    void SetFixedLength(bool fixed, uint16_t size) { m_fixedLength = fixed; m_fixedSize = size; }
    // Computes the body size of the transferred fields; false (size 0) when a text travels.
    bool ComputeFixedLength();
    bool IsModified() const { return m_modified; }
    void SetModified(bool modified) { m_modified = modified; }
    bool IsLocked() const { return m_locked; }
    void SetLocked(bool locked);
    bool IsDeleted() const { return m_deleted; }
    void SetDeleted(bool deleted) { m_deleted = deleted; }
    DMLTable* Table() const { return m_table; }
    void SetTable(DMLTable* table) { m_table = table; }

    // Binary forms. ToBinary with a template writes the templated form, without one the
    // self-describing form; false when the message would exceed 65,535 bytes. FromBinary and
    // Decode answer the bytes consumed, -1 when more bytes are needed, -2 for a corrupted header.
    // `attemptedSize` (when given) receives the size reached, also when the encoding fails.
    bool ToBinary(std::string& out, DMLRecord* messageTemplate, size_t* attemptedSize = nullptr) const;
    int FromBinary(const uint8_t* data, size_t size, const DMLRecord* messageTemplate);
    bool Encode(std::string& out) const;
    int Decode(const uint8_t* data, size_t size);

    // Text forms: tagged, XML (the table-file record syntax) and columns.
    std::string ToText(int form, int width = 15) const;
    std::string ColumnHeader(int width = 15) const;
    std::string ColumnSeparator(int width = 15) const;
    // The XML text of one field: <Name ATTR="..." TYPE="T">value</Name>.
    static std::string FieldXml(std::string_view name, const DMLField& field);

private:
    Entry& AddEntry(std::string_view name);
    // Adds an entry whose name is already a zero-filled 32-byte buffer.
    Entry& AddEntry(const char* name);
    Entry& NewEntry(const char* name);
    // Whether the entry's name is its own (not shared in an arena), so the entry can be reused.
    bool OwnsName(const Entry* entry) const;
    void WriteSelfDescribing(std::string& out, bool withDictValues) const;
    int DecodeSelfDescribing(const uint8_t* data, size_t size, size_t headerSize, size_t total,
                             bool dictionary, const char* function);

    // Entries live in chunks that never move, so fields keep their addresses while others are
    // added; m_entries keeps the order. Removed entries are kept for reuse.
    // A chunk is one allocation: this header followed by room for `capacity` entries, of which
    // the first `used` are constructed.
    // A chunk in the heap also holds a 32-byte name slot per entry, after the entries; the
    // entries of a chunk in an arena share the names the arena keeps.
    struct Chunk {
        Chunk* next;
        uint32_t capacity;
        uint32_t used;
        bool inArena;
        Entry* Entries() { return reinterpret_cast<Entry*>(this + 1); }
        char* NameSlot(size_t index) {
            return reinterpret_cast<char*>(Entries() + capacity) + index * (kDMLMaxNameLength + 1);
        }
    };
    static_assert(sizeof(Chunk) % alignof(Entry) == 0, "entries follow the chunk header");
    void AddChunk(size_t capacity);
    void FreeChunks();
    // The arena for new storage, or nullptr when there is none or it is closed.
    DMLArena* OpenArena() const { return m_arena && m_arena->IsOpen() ? m_arena : nullptr; }

    // The entries in order: pointers to entries of the chunks. The slots may live in the arena;
    // they move to the heap when they have to grow.
    class EntryList {
    public:
        EntryList() = default;
        EntryList(const EntryList&) = delete;
        EntryList& operator=(const EntryList&) = delete;
        ~EntryList() { if (m_owned) ::operator delete(m_items); }
        size_t size() const { return m_size; }
        bool empty() const { return m_size == 0; }
        size_t capacity() const { return m_capacity; }
        Entry* operator[](size_t index) const { return m_items[index]; }
        Entry* const* begin() const { return m_items; }
        Entry* const* end() const { return m_items + m_size; }
        Entry** begin() { return m_items; }
        Entry** end() { return m_items + m_size; }
        void push_back(Entry* entry) {
            if (m_size == m_capacity) reserve(m_capacity ? m_capacity * 2 : 4);
            m_items[m_size++] = entry;
        }
        void pop_back() { --m_size; }
        Entry* back() const { return m_items[m_size - 1]; }
        void erase(Entry** at);
        void clear() { m_size = 0; }
        void reserve(size_t count);
        // Takes `slots` (room for `count`, owned by someone else) as storage; only when empty.
        void UseSlots(Entry** slots, size_t count);

    private:
        Entry** m_items = nullptr;
        uint32_t m_size = 0;
        uint32_t m_capacity = 0;
        bool m_owned = false;
    };

    EntryList m_entries;
    EntryList m_spare;
    // The arena this record lives in or takes storage from (one reference), and whether the
    // record object itself is in it.
    DMLArena* m_arena = nullptr;
    bool m_selfInArena = false;
    Chunk* m_firstChunk = nullptr;
    Chunk* m_lastChunk = nullptr;
    std::atomic<int> m_refCount{0};
    DMLTable* m_table = nullptr;
    uint16_t m_fixedSize = 0;
    uint8_t m_serviceId = 0;
    uint8_t m_msgType = 0;
    uint8_t m_accessLevel = 0;
    bool m_isMessage = false;
    bool m_fixedLength = false;
    bool m_modified = false;
    bool m_locked = false;
    bool m_deleted = false;
};

// Holds one reference to a record.
class DMLRecordRef {
public:
    DMLRecordRef() = default;
    explicit DMLRecordRef(DMLRecord* record) : m_record(record) { if (m_record) m_record->AddRef(); }
    DMLRecordRef(const DMLRecordRef& other) : DMLRecordRef(other.m_record) {}
    DMLRecordRef(DMLRecordRef&& other) noexcept : m_record(other.m_record) { other.m_record = nullptr; }
    DMLRecordRef& operator=(DMLRecordRef other) noexcept {
        std::swap(m_record, other.m_record);
        return *this;
    }
    ~DMLRecordRef() { if (m_record) m_record->Release(); }
    static DMLRecordRef Make() { return DMLRecordRef(new DMLRecord()); }
    // A record in `arena` (see DMLRecord::CreateIn).
    static DMLRecordRef MakeIn(DMLArena& arena) { return DMLRecordRef(DMLRecord::CreateIn(arena)); }

    DMLRecord* get() const { return m_record; }
    DMLRecord* operator->() const { return m_record; }
    DMLRecord& operator*() const { return *m_record; }
    explicit operator bool() const { return m_record != nullptr; }

private:
    DMLRecord* m_record = nullptr;
};

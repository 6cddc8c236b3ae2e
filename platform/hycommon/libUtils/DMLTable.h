// A named, ordered list of records with an optional schema (prototype) and a key index.
#pragma once

#include <cstddef>
#include <set>
#include <string>
#include <vector>

#include "DMLRecord.h"

class DMLDatabase;

class DMLTable {
public:
    explicit DMLTable(std::string name, DMLDatabase* database = nullptr);
    ~DMLTable();
    DMLTable(const DMLTable&) = delete;
    DMLTable& operator=(const DMLTable&) = delete;

    const std::string& Name() const { return m_name; }
    DMLDatabase* Database() const { return m_database; }

    size_t RecordCount() const { return m_records.size(); }
    // The record at `index`; nullptr for an empty slot or an index out of range.
    DMLRecord* RecordAt(size_t index) const;
    // Appends a new empty record that belongs to this table.
    DMLRecord& AppendRecord();
    // Appends `record`, which then belongs to this table.
    void AppendRecord(DMLRecordRef record);
    // Puts `record` into slot `index`, growing the table with empty slots as needed.
    void SetRecordAt(size_t index, DMLRecordRef record);
    // Makes room for `count` records without adding any.
    void ReserveRecords(size_t count) { m_records.reserve(count); }
    // Grows the table with empty slots to `count`.
    void GrowTo(size_t count);
    void Clear();

    // The schema: the prototype when one was read, otherwise the first record.
    DMLRecord* Prototype() const;
    bool HasPrototype() const { return static_cast<bool>(m_prototype); }
    void SetPrototype(const DMLRecord& schema);

    // The first record whose KEY field equals `key` (in the key's type), or nullptr.
    DMLRecord* FindByKey(const DMLField& key) const;
    // Key-index maintenance, used by fields and records of this table.
    void AddKey(DMLField* field);
    void RemoveKey(DMLField* field);
    void IndexRecordKeys(DMLRecord& record);
    void RemoveRecordKeys(DMLRecord& record);
    size_t KeyCount() const { return m_keys.size(); }

private:
    struct KeyLess {
        bool operator()(const DMLField* a, const DMLField* b) const { return *a < *b; }
    };
    void Adopt(DMLRecord& record);

    std::string m_name;
    DMLDatabase* m_database;
    std::vector<DMLRecordRef> m_records;
    DMLRecordRef m_prototype;
    std::multiset<DMLField*, KeyLess> m_keys;
};

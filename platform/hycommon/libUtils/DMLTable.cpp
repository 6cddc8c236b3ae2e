#include "DMLTable.h"

DMLTable::DMLTable(std::string name, DMLDatabase* database)
    : m_name(std::move(name)), m_database(database) {}

DMLTable::~DMLTable() { Clear(); }

DMLRecord* DMLTable::RecordAt(size_t index) const {
    return index < m_records.size() ? m_records[index].get() : nullptr;
}

void DMLTable::Adopt(DMLRecord& record) {
    if (record.Table() && record.Table() != this) record.Table()->RemoveRecordKeys(record);
    record.SetTable(this);
    IndexRecordKeys(record);
}

DMLRecord& DMLTable::AppendRecord() {
    m_records.push_back(DMLRecordRef::Make());
    DMLRecord& record = *m_records.back();
    record.SetTable(this);
    return record;
}

void DMLTable::AppendRecord(DMLRecordRef record) {
    m_records.push_back(std::move(record));
    if (m_records.back()) Adopt(*m_records.back());
}

void DMLTable::SetRecordAt(size_t index, DMLRecordRef record) {
    GrowTo(index + 1);
    if (DMLRecord* old = m_records[index].get()) {
        RemoveRecordKeys(*old);
        old->SetTable(nullptr);
    }
    m_records[index] = std::move(record);
    if (m_records[index]) Adopt(*m_records[index]);
}

void DMLTable::GrowTo(size_t count) {
    if (m_records.size() < count) m_records.resize(count);
}

void DMLTable::Clear() {
    bool indexed = !m_keys.empty();
    m_keys.clear();
    for (auto& record : m_records) {
        if (!record) continue;
        if (indexed) {
            for (size_t i = 0; i < record->FieldCount(); ++i) {
                record->EntryAt(i).field.SetFlag(DMLF_INDEXED, false);
            }
        }
        record->SetTable(nullptr);
    }
    m_records.clear();
}

DMLRecord* DMLTable::Prototype() const {
    if (m_prototype) return m_prototype.get();
    return RecordAt(0);
}

void DMLTable::SetPrototype(const DMLRecord& schema) {
    m_prototype = DMLRecordRef::Make();
    m_prototype->CopyEntriesFrom(schema);
    m_prototype->SetModified(false);
}

DMLRecord* DMLTable::FindByKey(const DMLField& key) const {
    for (auto it = m_keys.begin(); it != m_keys.end(); ++it) {
        // The index is ordered by the stored keys' own types; compare in the key's type.
        if (key.Compare(**it) == 0 && (*it)->Owner()) return (*it)->Owner();
    }
    return nullptr;
}

void DMLTable::AddKey(DMLField* field) {
    if (field->HasFlag(DMLF_INDEXED)) RemoveKey(field);
    m_keys.insert(field);
    field->SetFlag(DMLF_INDEXED, true);
}

void DMLTable::RemoveKey(DMLField* field) {
    if (!field->HasFlag(DMLF_INDEXED)) return;
    field->SetFlag(DMLF_INDEXED, false);
    auto range = m_keys.equal_range(field);
    for (auto it = range.first; it != range.second; ++it) {
        if (*it == field) {
            m_keys.erase(it);
            return;
        }
    }
    // Keys of mixed types need not be ordered consistently: fall back to a search by identity.
    for (auto it = m_keys.begin(); it != m_keys.end(); ++it) {
        if (*it == field) {
            m_keys.erase(it);
            return;
        }
    }
}

void DMLTable::IndexRecordKeys(DMLRecord& record) {
    for (size_t i = 0; i < record.FieldCount(); ++i) {
        DMLField& field = record.EntryAt(i).field;
        if (field.HasFlag(DMLF_KEY)) AddKey(&field);
    }
}

void DMLTable::RemoveRecordKeys(DMLRecord& record) {
    for (size_t i = 0; i < record.FieldCount(); ++i) RemoveKey(&record.EntryAt(i).field);
}

#include "DMLDatabase.h"

DMLDatabase::DMLDatabase(std::string name) : m_name(name), m_createdName(std::move(name)) {}

DMLDatabase::~DMLDatabase() = default;

void DMLDatabase::SetStorage(std::unique_ptr<DMLStorage> storage, std::string path) {
    m_storage = std::move(storage);
    m_path = std::move(path);
}

bool DMLDatabase::Load() {
    if (!m_storage) return false;
    m_atEnd = false;
    if (!m_storage->AccessStart(*this)) return false;
    if (m_storage->HasTableList()) {
        DMLTable list(kDMLTableList, this);
        if (m_storage->LoadTableList(list, *this)) {
            for (size_t i = 0; i < list.RecordCount(); ++i) {
                const DMLRecord* record = list.RecordAt(i);
                const DMLField* name = record ? record->FindField("Name") : nullptr;
                if (!name) continue;
                MakeTable(name->ToStr(), true);
            }
        }
    } else {
        while (!m_atEnd && m_storage->LoadTable(nullptr, *this)) {
        }
    }
    m_storage->AccessEnd();
    return true;
}

DMLTable* DMLDatabase::MakeTable(const std::string& name, bool load) {
    auto it = m_tables.find(name);
    if (it == m_tables.end()) {
        it = m_tables.emplace(name, std::make_unique<DMLTable>(name, this)).first;
    }
    DMLTable* table = it->second.get();
    if (load && m_storage && !m_storage->LoadTable(table, *this)) table->Clear();
    return table;
}

DMLTable* DMLDatabase::FindTable(const std::string& name) const {
    auto it = m_tables.find(name);
    return it == m_tables.end() ? nullptr : it->second.get();
}

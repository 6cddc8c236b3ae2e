// A named set of tables read from one table file.
#pragma once

#include <map>
#include <memory>
#include <string>

#include "DMLStorage.h"
#include "DMLTable.h"

inline constexpr const char* kDMLTableList = "_TableList";

class DMLDatabase {
public:
    explicit DMLDatabase(std::string name);
    ~DMLDatabase();
    DMLDatabase(const DMLDatabase&) = delete;
    DMLDatabase& operator=(const DMLDatabase&) = delete;

    // Names the reader; `path` is the directory and base name of the file (empty for bytes).
    void SetStorage(std::unique_ptr<DMLStorage> storage, std::string path = {});
    // Reads the whole file. False only when the file cannot be opened or has no valid header;
    // a damaged table is logged and the tables read so far stay.
    bool Load();

    // The table of that name, created empty when absent; with `load` the storage reads it next.
    DMLTable* MakeTable(const std::string& name, bool load);
    DMLTable* FindTable(const std::string& name) const;
    // Tables in byte-wise order of their names.
    const std::map<std::string, std::unique_ptr<DMLTable>>& Tables() const { return m_tables; }

    const std::string& Name() const { return m_name; }
    void SetName(std::string name) { m_name = std::move(name); }
    // The name the database was created with.
    const std::string& CreatedName() const { return m_createdName; }
    const std::string& StoragePath() const { return m_path; }
    DMLStorage* Storage() const { return m_storage.get(); }
    bool AtEnd() const { return m_atEnd; }
    void SetAtEnd(bool atEnd) { m_atEnd = atEnd; }

private:
    std::string m_name;
    std::string m_createdName;
    std::string m_path;
    std::unique_ptr<DMLStorage> m_storage;
    std::map<std::string, std::unique_ptr<DMLTable>> m_tables;
    bool m_atEnd = false;
};

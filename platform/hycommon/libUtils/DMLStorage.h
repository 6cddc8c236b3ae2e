// The reader of one table file, in the XML or the binary form. A database is read from one
// storage holding all its tables.
#pragma once

#include <string>

class DMLDatabase;
class DMLTable;

class DMLStorage {
public:
    explicit DMLStorage(std::string name) : m_name(std::move(name)) {}
    virtual ~DMLStorage() = default;
    DMLStorage(const DMLStorage&) = delete;
    DMLStorage& operator=(const DMLStorage&) = delete;

    // Opens the file (or the bytes) and reads the database header.
    virtual bool AccessStart(DMLDatabase& database) = 0;
    virtual bool HasTableList() const = 0;
    // Reads the "_TableList" table into `list`.
    virtual bool LoadTableList(DMLTable& list, DMLDatabase& database) = 0;
    // Reads the next table into `table`; without a table, the next table of the file in order.
    virtual bool LoadTable(DMLTable* table, DMLDatabase& database) = 0;
    virtual void AccessEnd() = 0;

    // The name used in log lines: the file name, or the asset name for bytes in memory.
    const std::string& Name() const { return m_name; }

private:
    std::string m_name;
};

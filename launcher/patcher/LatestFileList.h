// The latest file list as the patcher keeps it: which local list file it came from (directory,
// name, size, CRC, form) and, once loaded, its version and tables. Kept across runs of the same
// process, so later packages of a batch reuse a list loaded once.
//
// List types: 1 the XML table-file form (".xml"), 2 the binary form (".bin").
#pragma once

#include <cstdint>
#include <memory>
#include <string>

class DMLDatabase;
class DMLTable;

enum ListFileType : uint32_t {
    LFT_Xml = 1,
    LFT_Binary = 2,
};

class LatestFileList {
public:
    LatestFileList();
    ~LatestFileList();
    LatestFileList(const LatestFileList&) = delete;
    LatestFileList& operator=(const LatestFileList&) = delete;

    // Whether the local copy in `cacheDirectory` is the list the server names. Loads a list file
    // found there when none is loaded yet. A "no" unloads the list and remembers `type` for the
    // download that follows.
    bool IsListCurrent(const std::string& cacheDirectory, uint32_t type, const std::string& fileName,
                       uint32_t size, uint32_t crc, uint32_t version);
    // Loads the recorded local list file: every table, and the version from "About". A list of
    // an unknown type, a file that cannot be read, a table that is cut short or damaged, or a
    // missing "About" fail the load, which leaves nothing loaded.
    bool LoadList();
    // Remembers the downloaded (or already current) list file: its directory and name, size and
    // CRC.
    void RecordListFile(const std::string& localPath, uint32_t size, uint32_t crc);
    // Forgets the loaded tables (the next run asks the server again).
    void Unload();

    bool IsLoaded() const { return m_loaded; }
    uint32_t Type() const { return m_type; }
    uint32_t Version() const { return m_version; }
    uint32_t Size() const { return m_size; }
    uint32_t Crc() const { return m_crc; }
    const std::string& Directory() const { return m_directory; }
    const std::string& FileName() const { return m_fileName; }
    // The table of a package, or nullptr (also when nothing is loaded).
    const DMLTable* FindPackage(const std::string& packageName) const;

    // True when `name` can only name a file directly inside the cache directory.
    static bool IsPlainFileName(const std::string& name);

private:
    bool m_loaded = false;
    uint32_t m_type = 0;
    std::string m_directory;
    std::string m_fileName;
    uint32_t m_size = 0;
    uint32_t m_crc = 0;
    uint32_t m_version = 0;
    std::unique_ptr<DMLDatabase> m_database;
};

// Reads a database from the binary table-file form: for each table a 32-bit record count, a
// dictionary message naming the table and its schema, then one custom-record message per record.
// The "_TableList" section comes first. Messages are decoded with the message codec, so the
// service-2 message module must be loaded first.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "DMLStorage.h"
#include "OsFile.h"

class DMLRecord;

class FileBinary : public DMLStorage {
public:
    static constexpr size_t kBufferSize = 64 * 1024;

    // Reads "<path>.bin".
    explicit FileBinary(const std::string& path);
    // Reads bytes already in memory; `name` appears in log lines.
    static std::unique_ptr<FileBinary> FromBytes(std::string name, std::string bytes);
    // Reads bytes the caller keeps alive until the load is over.
    static std::unique_ptr<FileBinary> FromView(std::string name, std::string_view bytes);

    bool AccessStart(DMLDatabase& database) override;
    bool HasTableList() const override { return true; }
    bool LoadTableList(DMLTable& list, DMLDatabase& database) override;
    bool LoadTable(DMLTable* table, DMLDatabase& database) override;
    void AccessEnd() override;

private:
    FileBinary(std::string name, std::string bytes);
    // Keeps the unread bytes and reads more behind them; false when nothing more can be read.
    bool LoadMoreBuffer();
    size_t Available() const { return m_end - m_begin; }
    // The bytes not yet decoded, in the window and still in the file.
    size_t BytesLeft() const;
    // Decodes one message into `record`: 1 done, 0 out of data, -1 a decoding error.
    int DecodeNext(DMLRecord& record);

    std::string m_path;
    HY_OS::File m_file;
    int64_t m_fileLength = 0;
    int64_t m_fileRead = 0;
    bool m_inMemory = false;
    std::string m_memory;          // bytes handed over
    std::string_view m_view;       // bytes in memory that are read
    std::vector<uint8_t> m_buffer; // window of the file
    const uint8_t* m_data = nullptr;
    size_t m_begin = 0;
    size_t m_end = 0;
    size_t m_capacity = 0;
};

// Reads a database from the XML table-file form: a declaration, the database element, and one
// element per table holding RECORD elements whose children are typed fields.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "DMLStorage.h"

class DMLRecord;

class FileXML : public DMLStorage {
public:
    // Reads "<path>.xml".
    explicit FileXML(const std::string& path);
    // Reads bytes already in memory; `name` appears in log lines.
    static std::unique_ptr<FileXML> FromBytes(std::string name, std::string bytes);
    // Reads bytes the caller keeps alive until the load is over.
    static std::unique_ptr<FileXML> FromView(std::string name, std::string_view bytes);

    bool AccessStart(DMLDatabase& database) override;
    bool HasTableList() const override { return m_hasTableList; }
    bool LoadTableList(DMLTable& list, DMLDatabase& database) override;
    bool LoadTable(DMLTable* table, DMLDatabase& database) override;
    void AccessEnd() override;

    // Splits a tag into tokens: words, quoted texts (quotes dropped) and runs of the delimiter
    // characters "<", ">", "=" and ",". Spaces only separate.
    static void Tokenize(std::string_view tag, std::vector<std::string_view>& tokens);

private:
    FileXML(std::string name, std::string bytes, bool inMemory);
    std::string_view NextTag();
    std::string_view PeekTag();
    std::string_view Text();
    bool ReadTable(DMLTable& table, std::string_view startTag);
    bool ReadRecord(DMLTable& table);

    std::string m_path;
    std::string m_owned;     // the file's bytes, or bytes handed over
    std::string_view m_text; // what is parsed
    size_t m_pos = 0;
    bool m_inMemory = false;
    bool m_hasTableList = false;
    std::vector<std::string_view> m_tokens;
    std::string m_scratch;
};

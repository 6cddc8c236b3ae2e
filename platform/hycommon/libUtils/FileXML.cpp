#include "FileXML.h"

#include <cstring>

#include "DMLDatabase.h"
#include "DMLTextConvert.h"
#include "LogMessage.h"
#include "OsFile.h"

namespace {

inline bool IsDelimiter(char c) { return c == '<' || c == '>' || c == '=' || c == ','; }

// Attribute values of the field tags that set flags.
bool IsTrue(std::string_view value) { return value == "TRUE"; }

}  // namespace

FileXML::FileXML(const std::string& path) : DMLStorage(path + ".xml"), m_path(path + ".xml") {}

FileXML::FileXML(std::string name, std::string bytes, bool inMemory)
    : DMLStorage(std::move(name)), m_owned(std::move(bytes)), m_text(m_owned), m_inMemory(inMemory) {}

std::unique_ptr<FileXML> FileXML::FromBytes(std::string name, std::string bytes) {
    return std::unique_ptr<FileXML>(new FileXML(std::move(name), std::move(bytes), true));
}

std::unique_ptr<FileXML> FileXML::FromView(std::string name, std::string_view bytes) {
    auto storage = std::unique_ptr<FileXML>(new FileXML(std::move(name), std::string(), true));
    storage->m_text = bytes;
    return storage;
}

std::string_view FileXML::NextTag() {
    for (;;) {
        const char* base = m_text.data();
        size_t size = m_text.size();
        if (m_pos >= size) return {};
        const void* open = std::memchr(base + m_pos, '<', size - m_pos);
        if (!open) {
            m_pos = size;
            return {};
        }
        size_t start = static_cast<size_t>(static_cast<const char*>(open) - base) + 1;
        if (size - start >= 3 && std::memcmp(base + start, "!--", 3) == 0) {
            // A comment runs to a ">" that follows two "-".
            size_t close = m_text.find("-->", start + 1);
            m_pos = close == std::string::npos ? size : close + 3;
            continue;
        }
        const void* close = std::memchr(base + start, '>', size - start);
        size_t end = close ? static_cast<size_t>(static_cast<const char*>(close) - base) : size;
        m_pos = close ? end + 1 : size;
        return std::string_view(base + start, end - start);
    }
}

std::string_view FileXML::PeekTag() {
    size_t saved = m_pos;
    std::string_view tag = NextTag();
    m_pos = saved;
    return tag;
}

std::string_view FileXML::Text() {
    size_t size = m_text.size();
    if (m_pos >= size) return {};
    const void* open = std::memchr(m_text.data() + m_pos, '<', size - m_pos);
    size_t end = open ? static_cast<size_t>(static_cast<const char*>(open) - m_text.data()) : size;
    std::string_view text(m_text.data() + m_pos, end - m_pos);
    m_pos = end;
    return text;
}

void FileXML::Tokenize(std::string_view tag, std::vector<std::string_view>& tokens) {
    tokens.clear();
    size_t i = 0;
    size_t n = tag.size();
    while (i < n) {
        char c = tag[i];
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
            ++i;
        } else if (c == '"') {
            size_t close = tag.find('"', i + 1);
            size_t end = close == std::string_view::npos ? n : close;
            tokens.push_back(tag.substr(i + 1, end - i - 1));
            i = close == std::string_view::npos ? n : close + 1;
        } else if (IsDelimiter(c)) {
            size_t start = i;
            while (i < n && IsDelimiter(tag[i])) ++i;
            tokens.push_back(tag.substr(start, i - start));
        } else {
            size_t start = i;
            while (i < n && !IsDelimiter(tag[i]) && tag[i] != ' ' && tag[i] != '\t' &&
                   tag[i] != '\r' && tag[i] != '\n' && tag[i] != '"') {
                ++i;
            }
            tokens.push_back(tag.substr(start, i - start));
        }
    }
}

bool FileXML::AccessStart(DMLDatabase& database) {
    if (!m_inMemory) {
        if (!HY_OS::ReadWholeFile(m_path, m_owned)) {
            HY_LOG(LL_Status, kDataLayerCategory, "FileXML::AccessStart", "Couldn't open %s [%s]",
                   m_path.c_str(), "DATABASE");
            return false;
        }
    }
    if (!m_inMemory) m_text = m_owned;
    m_pos = 0;
    std::string_view declaration = NextTag();
    if (declaration != "?xml version=\"1.0\" ?" &&
        declaration != "?xml version=\"1.0\" encoding=\"utf-8\"?") {
        HY_LOG(LL_Error, kDataLayerCategory, "FileXML::AccessStart",
               "%s: No valid XML Header found in table.", Name().c_str());
        return false;
    }
    std::string_view element = NextTag();
    Tokenize(element, m_tokens);
    database.SetName(m_tokens.empty() ? std::string() : std::string(m_tokens[0]));
    m_hasTableList = PeekTag() == kDMLTableList;
    return true;
}

void FileXML::AccessEnd() {
    if (!m_inMemory) {
        m_text = {};
        m_owned.clear();
        m_owned.shrink_to_fit();
    }
    m_pos = 0;
}

bool FileXML::LoadTableList(DMLTable& list, DMLDatabase& database) {
    std::string_view tag = NextTag();
    if (tag != kDMLTableList) {
        HY_LOG(LL_Error, kDataLayerCategory, "FileXML::LoadTableList",
               "%s: No valid table name/level found in XML file's table.", Name().c_str());
        return false;
    }
    return ReadTable(list, tag);
}

bool FileXML::LoadTable(DMLTable* table, DMLDatabase& database) {
    std::string_view tag = NextTag();
    if (table) {
        if (tag != table->Name()) {
            HY_LOG(LL_Error, kDataLayerCategory, "FileXML::LoadTable",
                   "%s: No valid table name/level found in XML file's table.", Name().c_str());
            return false;
        }
        return ReadTable(*table, tag);
    }
    // Without a table list, the database element's end tag (or the end of the text) ends it.
    if (tag.empty() ||
        (tag.front() == '/' && (tag.substr(1) == database.Name() || tag.substr(1) == database.CreatedName()))) {
        database.SetAtEnd(true);
        return false;
    }
    if (tag.front() == '/') {
        HY_LOG(LL_Error, kDataLayerCategory, "FileXML::LoadTable",
               "%s: No valid table name/level found in XML file's table.", Name().c_str());
        return false;
    }
    std::string name(tag);
    DMLTable* created = database.MakeTable(name, false);
    return ReadTable(*created, tag);
}

bool FileXML::ReadTable(DMLTable& table, std::string_view startTag) {
    std::string_view tag = NextTag();
    while (tag == "RECORD") {
        if (!ReadRecord(table)) {
            HY_LOG(LL_Error, kDataLayerCategory, "FileXML::LoadTable",
                   "%s: Table not terminated in XML file.", Name().c_str());
            return false;
        }
        tag = NextTag();
    }
    if (tag.size() != startTag.size() + 1 || tag.front() != '/' || tag.substr(1) != startTag) {
        HY_LOG(LL_Error, kDataLayerCategory, "FileXML::LoadTable",
               "%s: Table not terminated in XML file.", Name().c_str());
        return false;
    }
    return true;
}

bool FileXML::ReadRecord(DMLTable& table) {
    const DMLRecord* previous = table.RecordCount() ? table.RecordAt(table.RecordCount() - 1) : nullptr;
    DMLRecord& record = table.AppendRecord();
    // Records of one table usually share their fields: room for as many as the one before.
    if (previous) record.Reserve(previous->FieldCount());
    for (;;) {
        std::string_view tag = NextTag();
        if (tag.empty()) return false;
        if (tag == "/RECORD") break;
        Tokenize(tag, m_tokens);
        if (m_tokens.empty()) return false;
        std::string_view text = Text();
        if (NextTag().empty()) return false;  // the field's closing tag; its name is not checked

        std::string_view typeName;
        std::string_view length;
        uint8_t flagsOn = 0;
        uint8_t flagsOff = 0;
        uint8_t persistence = PER_NORM;
        for (size_t i = 1; i + 2 < m_tokens.size(); i += 3) {
            std::string_view name = m_tokens[i];
            std::string_view value = m_tokens[i + 2];
            if (name == "TYPE") typeName = value;
            else if (name == "LEN") length = value;
            else if (name == "KEY") { if (IsTrue(value)) flagsOn |= DMLF_KEY; }
            else if (name == "TSTAMP") { if (IsTrue(value)) flagsOn |= DMLF_TSTAMP; }
            else if (name == "AUTO") { if (IsTrue(value)) flagsOn |= DMLF_AUTO; }
            else if (name == "LOCK") { if (IsTrue(value)) flagsOn |= DMLF_LOCK; }
            else if (name == "NOXFER") { if (IsTrue(value)) flagsOff |= DMLF_XFER; }
            else if (name == "PER") {
                if (value == "CONTAINED") persistence = PER_CONT;
                else if (value == "INHERITS") persistence = PER_INHERIT;
                else if (value == "LIST") persistence = PER_LIST;
            } else if (name == "ALLOWNULL") {
                if (IsTrue(value)) persistence = PER_ALLOWNULL;
            }
        }

        std::string_view fieldName = m_tokens[0];
        DMLField* existing = record.FindField(fieldName);
        DMLField& field = existing ? *existing : record.GetField(fieldName);
        if (existing) field.Reset();
        uint8_t type = DMLTypeFromName(typeName);
        if (type == DML_WSTRING) {
            m_scratch.clear();
            if (!Base64Decode(text, m_scratch)) m_scratch.clear();
            field.SetValue(std::u16string_view(Utf16FromLEBytes(m_scratch)));
        } else {
            field.SetValue(text);
        }
        if (type == DML_UNKNOWN) {
            HY_LOG(LL_Error, kDataLayerCategory, "FileXML::ReadRecord",
                   "%s:%s:%s - No type specified in XML file.  Defaulting to String.",
                   Name().c_str(), table.Name().c_str(), std::string(fieldName).c_str());
            type = DML_STRING;
        }
        if (type != field.Type()) field.SetType(type);
        if (!length.empty()) {
            DMLField lengthField;
            lengthField.SetValue(length);
            field.SetDeclaredLength(static_cast<int16_t>(lengthField.GetUShort()));
        }
        field.SetPersistence(persistence);
        field.SetFlags(static_cast<uint8_t>((field.Flags() | flagsOn) & ~flagsOff));
        field.SetModified(false);
        if (field.HasFlag(DMLF_KEY)) table.AddKey(&field);
    }
    record.SetModified(false);
    return true;
}

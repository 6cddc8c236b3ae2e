#include "DMLTableFileWriter.h"

#include "DMLDatabase.h"
#include "DMLMessageTypes.h"

namespace {

void AppendU32(std::string& out, uint32_t value) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

bool AppendSection(const std::string& name, const DMLRecord* schemaSource,
                   const std::vector<const DMLRecord*>& records, std::string& out) {
    uint8_t customRecord = DMLSpecialTypes::CustomRecord();
    if (DMLSpecialTypes::CustomDict() == 0 || customRecord == 0) return false;
    AppendU32(out, static_cast<uint32_t>(records.size()));
    if (records.empty()) return true;
    DMLRecord schema;
    if (schemaSource) schema.CopyEntriesFrom(*schemaSource);
    schema.RemoveField(kDMLTargetTable);
    DMLRecord dictionary;
    dictionary.GetField(kDMLTargetTable).SetValue(std::string_view(name));
    for (size_t i = 0; i < schema.FieldCount(); ++i) {
        const DMLRecord::Entry& entry = schema.EntryAt(i);
        DMLField& field = dictionary.GetField(entry.Name());
        field.CopyFrom(entry.field, false);
    }
    if (!dictionary.ToBinary(out, nullptr)) return false;
    for (const DMLRecord* record : records) {
        size_t start = out.size();
        if (!record->ToBinary(out, &schema)) return false;
        out[start] = static_cast<char>(DMLSpecialTypes::kBaseService);
        out[start + 1] = static_cast<char>(customRecord);
    }
    return true;
}

}  // namespace

std::string WriteXmlTableFile(const DMLDatabase& database, bool withTableList) {
    std::string out = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<";
    out += database.Name();
    out += ">\n";
    if (withTableList) {
        out += "<_TableList>";
        for (const auto& [name, table] : database.Tables()) {
            out += "\n  <RECORD>\n    <Name TYPE=\"STR\">";
            out += name;
            out += "</Name>\n  </RECORD>";
        }
        out += "\n</_TableList>\n";
    }
    for (const auto& [name, table] : database.Tables()) {
        out += '<';
        out += name;
        out += '>';
        for (size_t i = 0; i < table->RecordCount(); ++i) {
            if (const DMLRecord* record = table->RecordAt(i)) out += record->ToText(1);
        }
        out += "\n</";
        out += name;
        out += ">\n";
    }
    out += "</";
    out += database.Name();
    out += ">\n";
    return out;
}

bool AppendBinaryTableSection(const DMLTable& table, std::string& out) {
    std::vector<const DMLRecord*> records;
    records.reserve(table.RecordCount());
    for (size_t i = 0; i < table.RecordCount(); ++i) {
        if (const DMLRecord* record = table.RecordAt(i)) records.push_back(record);
    }
    return AppendSection(table.Name(), table.Prototype(), records, out);
}

bool WriteBinaryTableFile(const DMLDatabase& database, std::string& out) {
    std::vector<DMLRecord> names(database.Tables().size());
    std::vector<const DMLRecord*> list;
    size_t i = 0;
    for (const auto& entry : database.Tables()) {
        names[i].GetField("Name").SetValue(std::string_view(entry.first));
        list.push_back(&names[i]);
        ++i;
    }
    if (!AppendSection(kDMLTableList, list.empty() ? nullptr : list.front(), list, out)) return false;
    for (const auto& entry : database.Tables()) {
        if (!AppendBinaryTableSection(*entry.second, out)) return false;
    }
    return true;
}

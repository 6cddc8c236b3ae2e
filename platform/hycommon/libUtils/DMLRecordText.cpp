// The text forms of a record: tagged (logs), XML (table files) and columns (dumps).
#include <cstdio>

#include "DMLRecord.h"
#include "DMLTextConvert.h"

namespace {

// A field's value as the text forms write it: ToStr, except wide text in Base64 of UTF-16LE.
std::string ValueText(const DMLField& field) {
    if (field.Type() == DML_WSTRING) {
        const std::u16string* wide = field.WStrSlot();
        return Base64Encode(Utf16ToLEBytes(wide ? std::u16string_view(*wide) : std::u16string_view()));
    }
    return field.ToStr();
}

const char* PersistenceTag(uint8_t persistence) {
    switch (persistence) {
        case PER_CONT: return "<PER_CONT>";
        case PER_INHERIT: return "<PER_INHERIT>";
        case PER_LIST: return "<PER_LIST>";
        case PER_ALLOWNULL: return "<PER_ALLOWNULL>";
        default: return "<PER_NORM>";
    }
}

int ColumnWidthOf(const DMLField& field, std::string_view name, int width) {
    int w;
    if (field.HasFlag(DMLF_TSTAMP)) {
        w = 19;
    } else if (field.Type() == DML_STRING || field.Type() == DML_WSTRING) {
        w = width;
    } else {
        w = DMLColumnWidth(field.Type());
    }
    if (w < static_cast<int>(name.size())) w = static_cast<int>(name.size());
    return w;
}

void AppendColumn(std::string& out, const std::string& text, int w, bool left) {
    char format[32];
    std::snprintf(format, sizeof format, left ? "%%-%i.%is|" : "%%%i.%is|", w, w);
    int length = std::snprintf(nullptr, 0, format, text.c_str());
    if (length <= 0) return;
    std::string cell(static_cast<size_t>(length) + 1, '\0');
    std::snprintf(cell.data(), cell.size(), format, text.c_str());
    cell.resize(static_cast<size_t>(length));
    out += cell;
}

}  // namespace

std::string DMLRecord::FieldXml(std::string_view name, const DMLField& field) {
    std::string out;
    out.reserve(64);
    out += '<';
    out += name;
    if (field.HasFlag(DMLF_KEY)) out += " KEY=\"TRUE\"";
    if (field.HasFlag(DMLF_TSTAMP)) out += " TSTAMP=\"TRUE\"";
    if (field.HasFlag(DMLF_AUTO)) out += " AUTO=\"TRUE\"";
    if (!field.HasFlag(DMLF_XFER)) out += " NOXFER=\"TRUE\"";
    if (field.HasFlag(DMLF_LOCK)) out += " LOCK=\"TRUE\"";
    switch (field.Persistence()) {
        case PER_CONT: out += " PER=\"CONTAINED\""; break;
        case PER_INHERIT: out += " PER=\"INHERITS\""; break;
        case PER_LIST: out += " PER=\"LIST\""; break;
        case PER_ALLOWNULL: out += " ALLOWNULL=\"TRUE\""; break;
        default: break;
    }
    out += " TYPE=\"";
    out += DMLTypeName(field.Type());
    out += "\">";
    out += ValueText(field);
    out += "</";
    out += name;
    out += '>';
    return out;
}

std::string DMLRecord::ToText(int form, int width) const {
    std::string out;
    switch (form) {
        case DTF_Tagged: {
            if (m_deleted) out += "[DEL]";
            out += m_modified ? "]> " : ">> ";
            for (const auto& entry : m_entries) {
                const DMLField& field = entry->field;
                out += '|';
                if (field.HasFlag(DMLF_MOD)) out += "[MOD]";
                if (field.HasFlag(DMLF_KEY)) out += "[KEY]";
                if (field.HasFlag(DMLF_TSTAMP)) out += "[TSTAMP]";
                if (field.HasFlag(DMLF_AUTO)) out += "[AUTO]";
                if (!field.HasFlag(DMLF_XFER)) out += "[NOXFER]";
                if (field.HasFlag(DMLF_LOCK)) out += "[LOCK]";
                out += PersistenceTag(field.Persistence());
                out += '<';
                out += DMLTypeName(field.Type());
                out += '>';
                out += entry->Name();
                out += '=';
                out += ValueText(field);
            }
            break;
        }
        case DTF_Xml: {
            if (m_deleted) break;
            out += "\n  <RECORD>\n";
            for (const auto& entry : m_entries) {
                out += "    ";
                out += FieldXml(entry->Name(), entry->field);
                out += '\n';
            }
            out += "  </RECORD>";
            break;
        }
        case DTF_Columns: {
            if (m_deleted) break;
            out += m_modified ? "]" : "|";
            for (const auto& entry : m_entries) {
                const DMLField& field = entry->field;
                bool left = field.Type() == DML_STRING || field.Type() == DML_WSTRING;
                AppendColumn(out, ValueText(field), ColumnWidthOf(field, entry->Name(), width), left);
            }
            break;
        }
        default: break;
    }
    return out;
}

std::string DMLRecord::ColumnHeader(int width) const {
    std::string out = "|";
    for (const auto& entry : m_entries) {
        AppendColumn(out, std::string(entry->Name()),
                     ColumnWidthOf(entry->field, entry->Name(), width), true);
    }
    return out;
}

std::string DMLRecord::ColumnSeparator(int width) const {
    std::string out = "+";
    for (const auto& entry : m_entries) {
        out.append(static_cast<size_t>(ColumnWidthOf(entry->field, entry->Name(), width)), '-');
        out += '+';
    }
    return out;
}

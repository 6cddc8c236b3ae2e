// The three binary forms of a record: templated, self-describing and Encode.
#include <cstring>

#include "DMLMessageTypes.h"
#include "DMLRecord.h"
#include "LogMessage.h"

namespace {

inline uint16_t ReadU16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

inline void WriteU16(std::string& out, size_t offset, uint16_t value) {
    out[offset] = static_cast<char>(value & 0xFF);
    out[offset + 1] = static_cast<char>(value >> 8);
}

inline void AppendU16(std::string& out, uint16_t value) {
    out.push_back(static_cast<char>(value & 0xFF));
    out.push_back(static_cast<char>(value >> 8));
}

// Writes the total length into bytes 2-3, or fails when the message is too large.
bool FinishMessage(std::string& out, size_t start, const char* function, const char* text) {
    size_t length = out.size() - start;
    if (length > kDMLMaxMessageSize) {
        HY_LOG(LL_Warning, kDataLayerCategory, function, text,
               static_cast<unsigned>(kDMLMaxMessageSize));
        out.resize(start);
        return false;
    }
    WriteU16(out, start + 2, static_cast<uint16_t>(length));
    return true;
}

}  // namespace

bool DMLRecord::ToBinary(std::string& out, DMLRecord* messageTemplate, size_t* attemptedSize) const {
    size_t start = out.size();
    if (attemptedSize) *attemptedSize = 0;
    if (!messageTemplate) {
        // Self-describing: the dictionary type when the record names its table.
        uint8_t type = HasField(kDMLTargetTable) ? DMLSpecialTypes::CustomDict()
                                                 : DMLSpecialTypes::RawRecord();
        out.push_back(static_cast<char>(DMLSpecialTypes::kBaseService));
        out.push_back(static_cast<char>(type));
        AppendU16(out, 0);
        WriteSelfDescribing(out, false);
        if (attemptedSize) *attemptedSize = out.size() - start;
        return FinishMessage(out, start, "DMLRecord::ToBinary",
                             "DMLRecord::ToBinary: Created message larger than %u bytes!");
    }
    out.push_back(static_cast<char>(m_serviceId));
    out.push_back(static_cast<char>(m_msgType));
    bool fixed = messageTemplate->IsFixedLength();
    if (!fixed) AppendU16(out, 0);
    if (DMLField* target = messageTemplate->FindField(kDMLTargetTable)) {
        target->SetFlag(DMLF_XFER, false);
    }
    for (const auto& entry : messageTemplate->m_entries) {
        const DMLField& templateField = entry->field;
        if (!templateField.HasFlag(DMLF_XFER)) continue;
        uint8_t type = templateField.Type();
        if (const DMLField* field = FindField(entry->Name())) {
            field->AppendBinary(type, out);
        } else if (type == DML_STRING || type == DML_WSTRING) {
            AppendU16(out, 0);
        } else {
            out.append(static_cast<size_t>(DMLFixedBinaryWidth(type)), '\0');
        }
        if (out.size() - start > kDMLMaxMessageSize) break;
    }
    if (attemptedSize) *attemptedSize = out.size() - start;
    if (out.size() - start > kDMLMaxMessageSize) {
        HY_LOG(LL_Warning, kDataLayerCategory, "DMLRecord::ToBinary",
               "DMLRecord::ToBinary: Created message larger than %u bytes!",
               static_cast<unsigned>(kDMLMaxMessageSize));
        out.resize(start);
        return false;
    }
    if (!fixed) WriteU16(out, start + 2, static_cast<uint16_t>(out.size() - start));
    return true;
}

void DMLRecord::WriteSelfDescribing(std::string& out, bool allValues) const {
    bool dictionary = !allValues && HasField(kDMLTargetTable);
    for (const auto& entry : m_entries) {
        std::string_view name = entry->Name();
        AppendU16(out, static_cast<uint16_t>(name.size()));
        out.append(name.data(), name.size());
        out.push_back(static_cast<char>(entry->field.Type()));
        out.push_back(static_cast<char>(entry->field.Flags()));
        if (!dictionary || name == kDMLTargetTable) {
            entry->field.AppendBinary(entry->field.Type(), out);
        }
    }
}

bool DMLRecord::Encode(std::string& out) const {
    size_t start = out.size();
    out.append(4, '\0');
    WriteSelfDescribing(out, true);
    return FinishMessage(out, start, "DMLRecord::Encode",
                         "DMLRecord::Encode: Created message larger than %u bytes!");
}

int DMLRecord::DecodeSelfDescribing(const uint8_t* data, size_t size, size_t headerSize,
                                    size_t total, bool dictionary, const char* function) {
    const uint8_t* end = data + total;
    const uint8_t* cursor = data + headerSize;
    while (cursor < end) {
        if (end - cursor < 2) return static_cast<int>(size);
        size_t nameLength = ReadU16(cursor);
        if (nameLength > kDMLMaxNameLength) return static_cast<int>(size);
        if (static_cast<size_t>(end - cursor - 2) < nameLength) return static_cast<int>(size);
        std::string_view name(reinterpret_cast<const char*>(cursor + 2), nameLength);
        const uint8_t* after = cursor + 2 + nameLength;
        if (end - after < 2) return static_cast<int>(size);
        uint8_t type = after[0];
        // The indexed bit describes this process's key index, never the sender's.
        uint8_t flags = static_cast<uint8_t>(after[1] & ~DMLF_INDEXED);
        const uint8_t* valueCursor = after + 2;
        DMLField& field = GetField(name);
        // The received flags replace the entry's; they are applied after the value so that a
        // received LOCK does not convert the value into the type the entry had before.
        auto applyFlags = [&] { field.SetFlags(static_cast<uint8_t>(flags | (field.Flags() & DMLF_INDEXED))); };
        if (!dictionary) {
            if (!field.FromBinary(type, valueCursor, end)) {
                HY_LOG(LL_DebugMed, kDataLayerCategory, function,
                       "DMLRecord::FromBinary: Unable to parse for %s DMLField.",
                       std::string(name).c_str());
                return static_cast<int>(size);
            }
        } else if (name == kDMLTargetTable) {
            DMLField temporary;
            if (!temporary.FromBinary(type, valueCursor, end)) {
                HY_LOG(LL_DebugMed, kDataLayerCategory, function,
                       "DMLRecord::FromBinary: Unable to parse for _TargetTable.");
                return static_cast<int>(size);
            }
            field.Assign(temporary);
        } else {
            field.SetType(type);
        }
        applyFlags();
        cursor = valueCursor;
    }
    return static_cast<int>(cursor - data);
}

int DMLRecord::FromBinary(const uint8_t* data, size_t size, const DMLRecord* messageTemplate) {
    bool fixed = messageTemplate && messageTemplate->IsFixedLength();
    size_t headerSize = fixed ? 2 : 4;
    if (!data || size < headerSize) return -1;
    if (data[0] == 0 || data[1] == 0) {
        HY_LOG(LL_Warning, kDataLayerCategory, "DMLRecord::FromBinary",
               "Received corrupted message service or type.");
        return -2;
    }
    m_serviceId = data[0];
    m_msgType = data[1];
    m_isMessage = true;
    size_t total = fixed ? 2 + size_t{messageTemplate->FixedSize()} : ReadU16(data + 2);
    if (total > size) {
        HY_LOG(LL_DebugMed, kDataLayerCategory, "DMLRecord::FromBinary",
               "Waiting for complete message.");
        return -1;
    }
    if (total < headerSize) {
        // A length that does not even cover the header cannot frame anything.
        HY_LOG(LL_Warning, kDataLayerCategory, "DMLRecord::FromBinary",
               "Received corrupted message length %u.", static_cast<unsigned>(total));
        return -2;
    }
    uint8_t customDict = DMLSpecialTypes::CustomDict();
    uint8_t rawRecord = DMLSpecialTypes::RawRecord();
    if (m_serviceId == DMLSpecialTypes::kBaseService &&
        ((customDict != 0 && m_msgType == customDict) || (rawRecord != 0 && m_msgType == rawRecord))) {
        return DecodeSelfDescribing(data, size, headerSize, total, m_msgType == customDict,
                                    "DMLRecord::FromBinary");
    }
    if (!messageTemplate) {
        HY_LOG(LL_Warning, kDataLayerCategory, "DMLRecord::FromBinary",
               "Expected template record is missing for message type: %d", m_msgType);
        return static_cast<int>(total);
    }
    if (!messageTemplate->IsMessage() &&
        !(m_serviceId == DMLSpecialTypes::kBaseService && m_msgType != 0 &&
          m_msgType == DMLSpecialTypes::CustomRecord())) {
        HY_LOG(LL_Warning, kDataLayerCategory, "DMLRecord::FromBinary",
               "Received an unknown message type: %d", m_msgType);
        return static_cast<int>(total);
    }
    const uint8_t* end = data + total;
    const uint8_t* cursor = data + headerSize;
    // Template names are unique, so an empty record needs no look-ups.
    bool fresh = m_entries.empty();
    if (fresh) Reserve(messageTemplate->m_entries.size());
    unsigned expected = 0;
    unsigned received = 0;
    for (const auto& entry : messageTemplate->m_entries) {
        const DMLField& templateField = entry->field;
        if (!templateField.HasFlag(DMLF_XFER)) continue;
        ++expected;
        if (cursor < end) {
            DMLField& field = fresh ? AddEntry(entry->name).field : GetField(entry->Name());
            if (field.FromBinary(templateField.Type(), cursor, end)) {
                ++received;
            } else {
                HY_LOG(LL_DebugMed, kDataLayerCategory, "DMLRecord::FromBinary",
                       "DMLRecord::FromBinary: Unable to parse for %s DMLField.", entry->name);
            }
        } else {
            HY_LOG(LL_Warning, kDataLayerCategory, "DMLRecord::FromBinary",
                   "DMLRecord::FromBinary: Missing field: %s", entry->name);
        }
    }
    if (received < expected) {
        HY_LOG(LL_Warning, kDataLayerCategory, "DMLRecord::FromBinary",
               "DMLRecord::FromBinary: Fewer message fields than expected.  Expected %u, "
               "Received %u, MsgType %d, MSgService %d",
               expected, received, m_msgType, m_serviceId);
    }
    if (cursor < end) {
        HY_LOG(LL_Warning, kDataLayerCategory, "DMLRecord::FromBinary",
               "DMLRecord::FromBinary: Message size is larger than expected.  Expected %u bytes, "
               "Received %d bytes, MsgType %d, MsgService %d",
               static_cast<unsigned>(cursor - data), static_cast<int>(size), m_msgType,
               m_serviceId);
        // The whole message is consumed so that a stream of messages stays framed.
        return static_cast<int>(total);
    }
    return static_cast<int>(cursor - data);
}

int DMLRecord::Decode(const uint8_t* data, size_t size) {
    if (!data || size < 4) return -1;
    size_t total = ReadU16(data + 2);
    if (total > size) {
        HY_LOG(LL_DebugMed, kDataLayerCategory, "DMLRecord::Decode", "Waiting for complete message.");
        return -1;
    }
    if (total < 4) return static_cast<int>(size);
    return DecodeSelfDescribing(data, size, 4, total, false, "DMLRecord::Decode");
}

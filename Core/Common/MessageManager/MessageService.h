// One service of the message manager: its message templates indexed by message type and the
// handler (event) name of each type, as loaded from one message module.
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "DMLTable.h"

class DMLDatabase;
class MessageManager;

inline constexpr const char* kMessageTableName = "_MessageTable";
inline constexpr const char* kProtocolInfoTable = "_ProtocolInfo";

class MessageService {
public:
    MessageService() : m_messageTable(kMessageTableName) {}

    // Reads the module's message tables into this service; false after an assertion report
    // (too many messages, a clashing type). Messages added before the failure stay.
    bool Load(DMLDatabase& database, uint8_t serviceId, MessageManager& manager);

    bool IsLoaded() const { return m_serviceId != 0; }
    uint8_t ServiceId() const { return m_serviceId; }
    bool AllowsFixedLength() const { return m_allowFixedLength; }
    DMLTable& MessageTable() { return m_messageTable; }
    const DMLTable& MessageTable() const { return m_messageTable; }
    // The template of `type`, or nullptr beyond the table.
    DMLRecord* Template(uint8_t type) const { return m_messageTable.RecordAt(type); }
    const std::string& HandlerName(uint8_t type) const;
    void Clear();

private:
    uint8_t m_serviceId = 0;
    bool m_allowFixedLength = false;
    DMLTable m_messageTable;
    std::map<uint8_t, std::string> m_handlerNames;
};

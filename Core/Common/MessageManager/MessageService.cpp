#include "MessageService.h"

#include "DMLDatabase.h"
#include "HYAssert.h"
#include "LogMessage.h"
#include "MessageManager.h"

namespace {

const std::string kEmptyName;
constexpr uint8_t kDefaultAccessLevel = 2;

}  // namespace

const std::string& MessageService::HandlerName(uint8_t type) const {
    auto it = m_handlerNames.find(type);
    return it == m_handlerNames.end() ? kEmptyName : it->second;
}

void MessageService::Clear() {
    m_serviceId = 0;
    m_allowFixedLength = false;
    m_messageTable.Clear();
    m_handlerNames.clear();
}

bool MessageService::Load(DMLDatabase& database, uint8_t serviceId, MessageManager& manager) {
    Clear();
    m_serviceId = serviceId;
    DMLTable* info = database.FindTable(kProtocolInfoTable);
    const DMLRecord* protocol = info ? info->RecordAt(0) : nullptr;
    const DMLField* allowFixed = protocol ? protocol->FindField("ProtocolAllowFixedLength") : nullptr;
    m_allowFixedLength = allowFixed && allowFixed->GetUByte() != 0;

    int type = 0;
    for (const auto& [tableName, table] : database.Tables()) {
        if (tableName == kDMLTableList || tableName == kProtocolInfoTable) continue;
        const DMLRecord* first = table->RecordAt(0);
        if (!first) continue;
        const DMLField* accessField = first->FindField("_MsgAccessLvl");
        uint8_t access = accessField ? accessField->GetUByte() : kDefaultAccessLevel;
        const DMLField* order = first->FindField("_MsgOrder");
        type = order ? order->GetInt() : type + 1;
        if (type > 254) {
            HY_LOG(LL_Error, kMessageManagerCategory, "MessageService::Load",
                   "   Trying to add more than 255 messages to service.");
            HYAssertFailed("Trying to add more than 255 messages to service", __FILE__, __LINE__);
            return false;
        }
        if (type < 1) {
            // Type 0 marks a corrupted message on the wire, so no message may take it.
            HY_LOG(LL_Error, kMessageManagerCategory, "MessageService::Load",
                   "   Invalid message type %d for table %s.", type, tableName.c_str());
            HYAssertFailed("Message type must be between 1 and 254", __FILE__, __LINE__);
            return false;
        }
        m_messageTable.GrowTo(static_cast<size_t>(type) + 1);
        for (size_t i = 0; i < m_messageTable.RecordCount(); ++i) {
            if (!m_messageTable.RecordAt(i)) m_messageTable.SetRecordAt(i, DMLRecordRef::Make());
        }
        DMLRecord* existing = m_messageTable.RecordAt(static_cast<size_t>(type));
        if (const DMLField* usedBy = existing->FindField("_MsgName")) {
            HY_LOG(LL_Error, kMessageManagerCategory, "MessageService::Load",
                   "   Trying to add a message [%u] as Type #%u which is already used by [%s]",
                   first->ServiceId(), first->MessageType(), usedBy->ToStr().c_str());
            HYAssertFailed("Message type already used in this service", __FILE__, __LINE__);
            return false;
        }
        DMLRecordRef message = DMLRecordRef::Make();
        message->CopyEntriesFrom(*first);
        message->SetServiceId(serviceId);
        message->SetMessageType(static_cast<uint8_t>(type));
        message->SetAccessLevel(access);
        message->SetMessage(true);
        if (m_allowFixedLength) message->ComputeFixedLength();
        message->SetModified(false);
        m_messageTable.SetRecordAt(static_cast<size_t>(type), message);

        const DMLField* handlerField = first->FindField("_MsgHandler");
        std::string handler = handlerField ? handlerField->ToStr() : std::string();
        m_handlerNames[static_cast<uint8_t>(type)] = handler;
        const DMLField* nameField = first->FindField("_MsgName");
        std::string name = nameField ? nameField->ToStr() : std::string();
        manager.AddMessageNames(name, handler, serviceId, static_cast<uint8_t>(type));
    }
    return true;
}

#include "MessageManager.h"

#include "DMLDatabase.h"
#include "HYAssert.h"
#include "LogMessage.h"
#include "ResourceManager.h"

namespace {

const std::string kEmptyName;
constexpr uint8_t kBaseService = DMLSpecialTypes::kBaseService;

}  // namespace

MessageManager& MessageManager::GetSingleton() {
    static MessageManager* manager = new MessageManager();  // lives for the whole process
    return *manager;
}

MessageManager::MessageManager() { SetDMLMessageCodec(this); }

MessageManager::~MessageManager() {
    if (GetDMLMessageCodec() == this) SetDMLMessageCodec(nullptr);
}

void MessageManager::SetResourceManager(std::shared_ptr<ResourceManager> manager) {
    m_resourceManager = std::move(manager);
}

MessageService* MessageManager::Service(uint8_t service) const {
    if (service == 0 || service >= kServiceSlots) return nullptr;
    MessageService* slot = m_services[service].get();
    return slot && slot->IsLoaded() ? slot : nullptr;
}

MessageService& MessageManager::ServiceSlot(uint8_t service) {
    if (!m_services[service]) m_services[service] = std::make_unique<MessageService>();
    return *m_services[service];
}

bool MessageManager::IsServiceLoaded(uint8_t service) const { return Service(service) != nullptr; }

void MessageManager::UnloadAll() {
    for (auto& service : m_services) service.reset();
    m_nameToService.clear();
    m_nameToType.clear();
    m_handlerToMessage.clear();
    DMLSpecialTypes::rawRecord = 0;
    DMLSpecialTypes::customRecord = 0;
    DMLSpecialTypes::customDict = 0;
}

bool MessageManager::LoadMessageModule(const std::string& dataRootPath, const std::string& name) {
    std::string fileName = name + ".xml";
    std::shared_ptr<ResourceManager> resources = m_resourceManager;
    if (!resources) resources = ResourceManager::Current();
    if (!resources) resources = std::make_shared<ResourceManager>(dataRootPath);
    DMLDatabase database("loadDatabase");
    if (resources->RequestAsset(fileName, database) != AR_Loaded) {
        HY_LOG(LL_Error, kMessageManagerCategory, "MessageManager::LoadMessageModule",
               "MessageManager::LoadMessageModule: RequestAsset failed for '%s'.", fileName.c_str());
        return false;
    }
    DMLTable* info = database.FindTable(kProtocolInfoTable);
    const DMLRecord* protocol = info ? info->RecordAt(0) : nullptr;
    const DMLField* serviceField = protocol ? protocol->FindField("ServiceID") : nullptr;
    uint8_t serviceId = serviceField ? serviceField->GetUByte() : 0;
    if (serviceId == 0 || serviceId == kInvalidService) {
        // Without a usable service id nothing could ever be sent or received.
        HY_LOG(LL_Error, kMessageManagerCategory, "MessageManager::LoadMessageModule",
               "MessageManager::LoadMessageModule: No valid ServiceID in '%s'.", fileName.c_str());
        return false;
    }
    const DMLField* type = protocol->FindField("ProtocolType");
    const DMLField* description = protocol->FindField("ProtocolDescription");
    std::string typeText = type ? type->ToStr() : std::string();
    HY_LOG(LL_Status, kMessageManagerCategory, "MessageManager::LoadMessageModule",
           "   Protocol Type: %s : %s", typeText.c_str(),
           description ? description->ToStr().c_str() : "");
    if (Service(serviceId)) {
        HY_LOG(LL_Status, kMessageManagerCategory, "MessageManager::LoadMessageModule",
               "   Message Service Type Already Loaded: #%d", serviceId);
        return true;
    }
    ServiceSlot(serviceId).Load(database, serviceId, *this);
    if (serviceId == kBaseService) ResolveSpecialTypes();
    HY_LOG(LL_Status, kMessageManagerCategory, "MessageManager::LoadMessageModule",
           "   Message Module: %s : Loaded OK", typeText.c_str());
    return true;
}

void MessageManager::ResolveSpecialTypes() {
    auto typeOf = [this](const char* name) -> uint8_t {
        auto service = m_nameToService.find(name);
        auto type = m_nameToType.find(name);
        if (service == m_nameToService.end() || type == m_nameToType.end()) return 0;
        return service->second == kBaseService ? type->second : 0;
    };
    DMLSpecialTypes::rawRecord = typeOf("MSG_RAWRECORD");
    DMLSpecialTypes::customRecord = typeOf("MSG_CUSTOMRECORD");
    DMLSpecialTypes::customDict = typeOf("MSG_CUSTOMDICT");
}

bool MessageManager::AddMessageNames(const std::string& name, const std::string& handler,
                                     uint8_t service, uint8_t type) {
    if (m_nameToService.count(name) || m_nameToType.count(name)) {
        HY_LOG(LL_Error, kMessageManagerCategory, "MessageManager::AddMessageNames",
               "ADDING DUPLICATE MESSAGE NAME: %s", name.c_str());
        HYAssertFailed("Message name already used", __FILE__, __LINE__);
        return false;
    }
    if (m_handlerToMessage.count(handler)) {
        HY_LOG(LL_Error, kMessageManagerCategory, "MessageManager::AddMessageNames",
               "Duplicate message handler name: %s", handler.c_str());
        return false;
    }
    m_nameToService[name] = service;
    m_nameToType[name] = type;
    m_handlerToMessage[handler] = {service, type};
    return true;
}

bool MessageManager::PrepMessage(DMLRecord& record, const std::string& messageName) {
    auto service = m_nameToService.find(messageName);
    auto type = m_nameToType.find(messageName);
    uint8_t serviceId = service == m_nameToService.end() ? 0 : service->second;
    uint8_t messageType = type == m_nameToType.end() ? 0 : type->second;
    record.SetServiceId(serviceId);
    record.SetMessageType(messageType);
    record.SetMessage(true);
    if (serviceId == 0 || messageType == 0) {
        HY_LOG(LL_Error, kMessageManagerCategory, "MessageManager::PrepMessage",
               "Message '%s' could not be found!", messageName.c_str());
    }
    return true;
}

bool MessageManager::Encode(std::string& out, DMLRecord& record, int level) {
    size_t start = out.size();
    size_t attempted = 0;
    bool encoded;
    if (record.IsMessage()) {
        MessageService* service = Service(record.ServiceId());
        DMLRecord* messageTemplate = service ? service->Template(record.MessageType()) : nullptr;
        if (!messageTemplate) {
            HY_LOG(static_cast<uint8_t>(level), kMessageManagerCategory,
                   "MessageManager::MessageToBinary",
                   "MessageManager::MessageToBinary() - No Template Record.  Srv=%u Type=%u",
                   record.ServiceId(), record.MessageType());
            return false;
        }
        if (record.ServiceId() == 0 || record.MessageType() == 0) {
            HY_LOG(static_cast<uint8_t>(level), kMessageManagerCategory,
                   "MessageManager::MessageToBinary",
                   "MessageManager::::MessageToBinary() - MsgService or MsgType is 0.  Srv=%u Type=%u",
                   record.ServiceId(), record.MessageType());
        }
        encoded = record.ToBinary(out, messageTemplate, &attempted);
    } else {
        encoded = record.ToBinary(out, nullptr, &attempted);
    }
    if (!encoded) {
        out.resize(start);
        const std::string& name = record.IsMessage()
                                      ? GetMessageName(record.ServiceId(), record.MessageType())
                                      : kEmptyName;
        HY_LOG(static_cast<uint8_t>(level), kMessageManagerCategory, "MessageManager::MessageToBinary",
               "MessageManager::::MessageToBinary() - ToBinary encountered an error (message too "
               "large?).  Name=%s Size=%d",
               name.c_str(), static_cast<int>(attempted));
        return false;
    }
    return true;
}

std::string MessageManager::MessageToBinary(DMLRecord& record) {
    std::string out;
    if (!Encode(out, record, LL_Error)) out.clear();
    return out;
}

bool MessageManager::MessageToBinary(std::string& out, DMLRecord& record) {
    return Encode(out, record, LL_Warning);
}

int MessageManager::MessageFromBinary(DMLRecord& record, const uint8_t* data, size_t size,
                                      uint8_t accessLevel) {
    if (!data || size < 2) return -1;
    uint8_t serviceId = data[0];
    MessageService* service = serviceId == kInvalidService ? nullptr : Service(serviceId);
    if (!service) {
        HY_LOG(LL_Warning, kMessageManagerCategory, "MessageManager::MessageFromBinary",
               "Received invalid message service %u (0x%x).", serviceId, serviceId);
        return -1;
    }
    uint8_t type = data[1];
    const DMLTable& table = service->MessageTable();
    if (type >= table.RecordCount()) return -1;
    DMLRecord* messageTemplate = table.RecordAt(type);
    if (messageTemplate && accessLevel < messageTemplate->AccessLevel()) return -1;
    int result = record.FromBinary(data, size, messageTemplate);

    uint8_t customDict = CustomDictType();
    if (result > 0 && serviceId == kBaseService && customDict != 0 && type == customDict) {
        // The dictionary defines the layout of the custom records that follow it.
        DMLField* target = record.FindField(kDMLTargetTable);
        std::string targetTable = target ? target->ToStr() : std::string();
        record.RemoveField(kDMLTargetTable);
        uint8_t customRecord = CustomRecordType();
        DMLRecord* layout = customRecord != 0 ? service->Template(customRecord) : nullptr;
        if (layout) {
            // The template keeps its own name and handler so that it can still be found and
            // named; every other field comes from the dictionary.
            DMLRecord identity;
            for (size_t i = 0; i < layout->FieldCount(); ++i) {
                const DMLRecord::Entry& entry = layout->EntryAt(i);
                if (entry.Name().substr(0, 4) == "_Msg") identity.GetField(entry.Name()).CopyFrom(entry.field, false);
            }
            layout->CopyEntriesFrom(record);
            for (size_t i = 0; i < identity.FieldCount(); ++i) {
                const DMLRecord::Entry& entry = identity.EntryAt(i);
                if (!layout->HasField(entry.Name())) layout->GetField(entry.Name()).CopyFrom(entry.field, false);
            }
            layout->SetFixedLength(false, 0);
        }
        record.SetServiceId(kBaseService);
        record.SetMessageType(type);
        record.SetMessage(true);
        record.GetField(kDMLTargetTable).SetValue(std::string_view(targetTable));
    }
    return result;
}

const std::string& MessageManager::GetEventName(const DMLRecord& record) const {
    if (!record.IsMessage()) return kEmptyName;
    return GetEventName(record.ServiceId(), record.MessageType());
}

const std::string& MessageManager::GetEventName(uint8_t service, uint8_t type) const {
    if (service == kInvalidService) {
        HY_LOG(LL_Warning, kMessageManagerCategory, "MessageManager::GetEventName",
               "MessageManager::GetEventName: Invalid service parameter.");
        return kEmptyName;
    }
    MessageService* slot = Service(service);
    return slot ? slot->HandlerName(type) : kEmptyName;
}

const std::string& MessageManager::GetMessageName(uint8_t service, uint8_t type) const {
    if (service == kInvalidService) {
        HY_LOG(LL_Warning, kMessageManagerCategory, "MessageManager::GetMessageName",
               "MessageManager::GetMessageName: Invalid service parameter.");
        return kEmptyName;
    }
    MessageService* slot = Service(service);
    DMLRecord* messageTemplate = slot ? slot->Template(type) : nullptr;
    if (!messageTemplate) {
        HY_LOG(LL_Error, kMessageManagerCategory, "MessageService::GetMessageName",
               "MessageService::GetMessageName(): Service: %d Type: %d Unknown.", service, type);
        return kEmptyName;
    }
    const DMLField* name = messageTemplate->FindField("_MsgName");
    return name ? name->ToStr() : kEmptyName;
}

DMLTable& MessageManager::GetMessageTable(uint8_t service) {
    if (service == kInvalidService) {
        HY_LOG(LL_Warning, kMessageManagerCategory, "MessageManager::GetMessageTable",
               "MessageManager::GetMessageTable: Invalid service parameter.");
        return m_emptyTable;
    }
    MessageService* slot = Service(service);
    return slot ? slot->MessageTable() : m_emptyTable;
}

DMLRecord* MessageManager::GetMessageTemplate(uint8_t service, uint8_t type) {
    MessageService* slot = service == kInvalidService ? nullptr : Service(service);
    if (!slot || slot->MessageTable().RecordCount() == 0) return nullptr;
    if (type >= slot->MessageTable().RecordCount()) {
        HY_LOG(LL_Error, kMessageManagerCategory, "MessageManager::GetMessageTemplate",
               "MessageManager::GetMessageTemplate: MessageType for specified service does not exist.");
        return nullptr;
    }
    return slot->Template(type);
}

DMLRecord* MessageManager::GetMessageTemplate(const std::string& messageName) {
    auto service = m_nameToService.find(messageName);
    auto type = m_nameToType.find(messageName);
    uint8_t serviceId = service == m_nameToService.end() ? 0 : service->second;
    uint8_t messageType = type == m_nameToType.end() ? 0 : type->second;
    if (serviceId == 0 || messageType == 0) {
        HY_LOG(LL_Error, kMessageManagerCategory, "MessageManager::GetMessageTemplate",
               "MessageManager::GetMessageTemplate() - Unknown message type '%s'!",
               messageName.c_str());
        return nullptr;
    }
    return GetMessageTemplate(serviceId, messageType);
}

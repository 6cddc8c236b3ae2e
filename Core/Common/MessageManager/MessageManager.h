// The process-wide registry of message definitions. Message modules (table files named after the
// module, found by the resource manager) declare a service and its messages; the manager numbers
// them, turns records into wire bytes and back, and names the event under which a received
// message is delivered.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <utility>

#include "DMLMessageTypes.h"
#include "DMLRecord.h"
#include "MessageService.h"

class ResourceManager;

inline constexpr const char* kMessageManagerCategory = "MessageManager";

class MessageManager : public DMLMessageCodec {
public:
    static constexpr int kServiceSlots = 255;
    static constexpr uint8_t kInvalidService = 255;

    static MessageManager& GetSingleton();

    // Loads "<name>.xml" through the resource manager. True also when the service was already
    // loaded. `dataRootPath` is used only when no resource manager is installed.
    bool LoadMessageModule(const std::string& dataRootPath, const std::string& name);
    // Sets the record's service id, message type and message flag from the message name.
    bool PrepMessage(DMLRecord& record, const std::string& messageName);

    // Encodes with the record's template (or self-describing without the message flag); empty on
    // failure, logged at error level.
    std::string MessageToBinary(DMLRecord& record);
    // The same into `out` (appended), logged at warning level; false on failure.
    bool MessageToBinary(std::string& out, DMLRecord& record);
    // Bytes consumed, or -1 (too short, invalid service, unknown type, access refused, or more
    // bytes needed), or another negative code for a corrupted message.
    int MessageFromBinary(DMLRecord& record, const uint8_t* data, size_t size, uint8_t accessLevel);

    const std::string& GetEventName(const DMLRecord& record) const;
    const std::string& GetEventName(uint8_t service, uint8_t type) const;
    const std::string& GetMessageName(uint8_t service, uint8_t type) const;
    DMLTable& GetMessageTable(uint8_t service);
    DMLRecord* GetMessageTemplate(uint8_t service, uint8_t type);
    DMLRecord* GetMessageTemplate(const std::string& messageName);
    bool IsServiceLoaded(uint8_t service) const;

    // Message types of the special messages of service 2 (0 until that module loads).
    uint8_t RawRecordType() const { return DMLSpecialTypes::RawRecord(); }
    uint8_t CustomRecordType() const { return DMLSpecialTypes::CustomRecord(); }
    uint8_t CustomDictType() const { return DMLSpecialTypes::CustomDict(); }

    // The resource manager modules are loaded through; by default the process-wide current one.
    void SetResourceManager(std::shared_ptr<ResourceManager> manager);
    // Forgets every service and name (for tools and tests that load modules more than once).
    void UnloadAll();

    int DecodeMessage(DMLRecord& record, const uint8_t* data, size_t size,
                      uint8_t accessLevel) override {
        return MessageFromBinary(record, data, size, accessLevel);
    }

private:
    friend class MessageService;
    MessageManager();
    ~MessageManager() override;

    MessageService* Service(uint8_t service) const;
    MessageService& ServiceSlot(uint8_t service);
    // Adds the name and handler maps of one message; false after a reported clash.
    bool AddMessageNames(const std::string& name, const std::string& handler, uint8_t service,
                         uint8_t type);
    void ResolveSpecialTypes();
    bool Encode(std::string& out, DMLRecord& record, int level);

    std::array<std::unique_ptr<MessageService>, kServiceSlots> m_services;
    std::unordered_map<std::string, uint8_t> m_nameToService;
    std::unordered_map<std::string, uint8_t> m_nameToType;
    std::unordered_map<std::string, std::pair<uint8_t, uint8_t>> m_handlerToMessage;
    std::shared_ptr<ResourceManager> m_resourceManager;
    DMLTable m_emptyTable{"_MessageTable"};
};

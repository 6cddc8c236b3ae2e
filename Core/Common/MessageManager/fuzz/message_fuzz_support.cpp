#include "message_fuzz_support.h"

#include <cstdlib>
#include <memory>
#include <string>

#include "DMLRecord.h"
#include "MessageManager.h"
#include "ResourceManager.h"

void LoadShippedModules() {
    static const bool loaded = [] {
        MessageManager& manager = MessageManager::GetSingleton();
        manager.SetResourceManager(std::make_shared<ResourceManager>(HY_DATA_SOURCE_DIR));
        for (const char* module : {"BaseMessages", "ExtendedBaseMessages", "LoginMessages", "PatchMessages"}) {
            if (!manager.LoadMessageModule("", module)) std::abort();  // no modules, no target
        }
        return true;
    }();
    (void)loaded;
}

void DecodeAndUse(const uint8_t* data, size_t size) {
    MessageManager& manager = MessageManager::GetSingleton();
    DMLRecord record;
    int used = manager.MessageFromBinary(record, data, size, 255);
    if (used > static_cast<int>(size)) std::abort();  // consumed more than it was given
    if (used <= 0) return;
    std::string again;
    manager.MessageToBinary(again, record);
    manager.GetEventName(record);
    record.ToText(DTF_Tagged);
    record.ToText(DTF_Xml);
}

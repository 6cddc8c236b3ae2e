// Messages defined by the shipped modules, decoded by their templates: whatever the bytes, the
// decode ends in a record or a refusal.
#include "DMLRecord.h"
#include "FuzzTarget.h"
#include "MessageManager.h"
#include "message_fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    LoadShippedModules();
    DecodeAndUse(data, size);
    return 0;
}

std::vector<std::string> HyFuzzSeeds() {
    LoadShippedModules();
    MessageManager& manager = MessageManager::GetSingleton();
    std::vector<std::string> seeds;
    DMLRecord authen;
    manager.PrepMessage(authen, "MSG_USER_AUTHEN");
    authen.GetField("Rec1").SetValue(std::string("\x01\x02\x00\x03 encrypted", 14));
    authen.GetField("MachineID").SetValue(uint64_t{0x0000AABBCCDDEEFF});
    authen.GetField("Locale").SetValue("English");
    authen.GetField("PatchClientID").SetValue("{01234567-89AB-CDEF-0123-456789ABCDEF}");
    seeds.push_back(manager.MessageToBinary(authen));
    DMLRecord reply;
    manager.PrepMessage(reply, "MSG_USER_AUTHEN_RSP");
    reply.GetField("Error").SetValue(uint32_t{0});
    reply.GetField("Rec1").SetValue(std::string(40, 'k'));
    reply.GetField("UserID").SetValue(uint64_t{42});
    reply.GetField("PayingUser").SetValue(int32_t{1});
    seeds.push_back(manager.MessageToBinary(reply));
    DMLRecord list;
    manager.PrepMessage(list, "MSG_LATEST_FILE_LIST_V2");
    list.GetField("Locale").SetValue("English");
    list.GetField("URLPrefix").SetValue("http://patch.example/Base");
    list.GetField("ListFileSize").SetValue(uint32_t{123456});
    seeds.push_back(manager.MessageToBinary(list));
    return seeds;
}

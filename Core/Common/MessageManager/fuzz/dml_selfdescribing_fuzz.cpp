// Self-describing records: the raw, custom-record and custom-dictionary messages decoded through
// the message manager, and a bare record decode. Each ends in a record or a refusal.
#include <cstdlib>

#include "DMLRecord.h"
#include "FuzzTarget.h"
#include "MessageManager.h"
#include "message_fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    LoadShippedModules();
    DecodeAndUse(data, size);
    DMLRecord bare;
    if (bare.Decode(data, size) > static_cast<int>(size)) std::abort();
    return 0;
}

std::vector<std::string> HyFuzzSeeds() {
    LoadShippedModules();
    MessageManager& manager = MessageManager::GetSingleton();
    std::vector<std::string> seeds;
    DMLRecord raw;
    raw.GetField("A").SetValue(int32_t{-5});
    raw.GetField("W").SetValue(std::u16string_view(u"wide \U0001F600"));
    raw.GetField("D").SetValue(2.5);
    raw.GetField("G").SetValue(uint64_t{1} << 40);
    seeds.push_back(manager.MessageToBinary(raw));
    DMLRecord dict;
    dict.GetField("_TargetTable").SetValue("Files");
    dict.GetField("Name").SetValue("");
    dict.GetField("Size").SetValue(uint32_t{0});
    seeds.push_back(manager.MessageToBinary(dict));
    DMLRecord custom;
    manager.PrepMessage(custom, "MSG_CUSTOMRECORD");
    custom.GetField("Name").SetValue("a.dll");
    custom.GetField("Size").SetValue(uint32_t{77});
    seeds.push_back(manager.MessageToBinary(custom));
    std::string encoded;
    raw.Encode(encoded);
    seeds.push_back(encoded);
    return seeds;
}

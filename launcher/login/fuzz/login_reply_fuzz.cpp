// A login server's reply as the login client receives it while it awaits one: decoded through the
// message manager and handed to the reply handlers, which end the sign-in with a result. Input:
// one byte choosing the awaited reply (even: authentication, odd: validation), then the message.
#include <cstdlib>
#include <memory>
#include <string>

#include "DMLRecord.h"
#include "FuzzTarget.h"
#include "HYThread.h"
#include "MessageManager.h"
#include "MsgBuffer.h"
#include "PatchClientLogin.h"
#include "ResourceManager.h"

class PatchClientLoginReplyProbe : public PatchClientLogin {
public:
    static constexpr const char* kClientId = "{01234567-89AB-CDEF-0123-456789ABCDEF}";
    bool Prepare(bool validate) {
        // The first client loads the modules; later ones skip the reload a full Initialize makes.
        static const bool initialized = PatchClientLoginReplyProbe().Initialize(HY_DATA_SOURCE_DIR, kClientId);
        if (!initialized) return false;
        m_patchClientId = kClientId;
        m_loginState = LS_Established;
        m_mode = validate ? LM_Validate : LM_Authenticate;
        return true;
    }
};

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0 || size > 0xFFFF) return 0;
    {
        PatchClientLoginReplyProbe login;
        if (!login.Prepare(data[0] & 1)) std::abort();
        login.AppProcessMessage(MsgBuffer::FromBytes(data + 1, static_cast<uint32_t>(size - 1)));
        // The stop event that ends a handled reply runs on this thread's loop.
        HYThread::Current()->RunOnce(false, false);
    }
    HYThread::Current()->RunOnce(false, false);
    return 0;
}

std::vector<std::string> HyFuzzSeeds() {
    MessageManager& manager = MessageManager::GetSingleton();
    for (const char* module : {"BaseMessages", "ExtendedBaseMessages", "LoginMessages"})
        manager.LoadMessageModule(HY_DATA_SOURCE_DIR, module);
    std::vector<std::string> seeds;
    DMLRecord success;
    manager.PrepMessage(success, "MSG_USER_AUTHEN_RSP");
    success.GetField("Error").SetValue(uint32_t{0});
    success.GetField("Rec1").SetValue(std::string(48, '\x5A'));
    success.GetField("UserID").SetValue(uint64_t{42});
    success.GetField("PayingUser").SetValue(int32_t{1});
    success.GetField("JSessionID").SetValue("JSESSION");
    seeds.push_back(std::string(1, '\0') + manager.MessageToBinary(success));
    DMLRecord banned;
    manager.PrepMessage(banned, "MSG_USER_VALIDATE_RSP");
    banned.GetField("Error").SetValue(uint32_t{3});
    banned.GetField("TimeStamp").SetValue("1d 2h 30m");
    banned.GetField("PayingUser").SetValue(int32_t{0});
    seeds.push_back(std::string(1, '\1') + manager.MessageToBinary(banned));
    return seeds;
}

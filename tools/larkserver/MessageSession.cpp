#include "MessageSession.h"

#include "MessageManager.h"

bool MessageSession::AppProcessMessage(const MsgBufferRef& buffer) {
    if (m_handler(*this, buffer->Data(), buffer->Length())) return true;
    Close(true);
    return false;
}

std::string DecodeRequest(const uint8_t* data, uint32_t length, DMLRecord& request, int& used) {
    MessageManager& messages = MessageManager::GetSingleton();
    used = messages.MessageFromBinary(request, data, length, 255);
    return used < 0 ? std::string()
                    : messages.GetMessageName(request.ServiceId(), request.MessageType());
}

std::string TextField(const DMLRecord& record, const char* name) {
    const DMLField* field = record.FindField(name);
    return field ? field->ToStr() : std::string();
}

bool SendReply(ServerSession& session, DMLRecord& reply) {
    std::string bytes = MessageManager::GetSingleton().MessageToBinary(reply);
    return !bytes.empty() && session.SendMessage(bytes.data(), static_cast<uint32_t>(bytes.size()));
}

// What the development servers' roles share: a server session that hands each application message
// to its role and closes the connection when the role refuses it, and decoding a request.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "DMLRecord.h"
#include "ServerSession.h"

class MessageSession : public ServerSession {
  public:
    // Answers false when the connection is to be closed.
    using Handler =
        std::function<bool(MessageSession& session, const uint8_t* data, uint32_t length)>;
    explicit MessageSession(Handler handler) : m_handler(std::move(handler)) {}

    bool AppProcessMessage(const MsgBufferRef& buffer) override;

  private:
    Handler m_handler;
};

// Decodes one request with every field readable; answers its message name, or empty when the
// bytes are no message of a loaded module (`used` gets the decoder's result).
std::string DecodeRequest(const uint8_t* data, uint32_t length, DMLRecord& request, int& used);

// Encodes and sends one reply; false when it could not be sent.
bool SendReply(ServerSession& session, DMLRecord& reply);

// The text of a field, empty when the record lacks it.
std::string TextField(const DMLRecord& record, const char* name);

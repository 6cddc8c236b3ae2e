#include "login_test_support.h"

#include <gtest/gtest.h>

#include "HYThread.h"
#include "MessageManager.h"
#include "OsEnv.h"
#include "OsTime.h"
#include "WorkerPump.h"

namespace logintest {

void RunOnWorker(const std::function<void()>& body) {
    HY_OS::SetEnv("HY_HOSTNAME", "localhost");
    hytest::RunOnWorker(body, "LoginTest");
}

void LoadModules() {
    for (const char* module : {"BaseMessages", "ExtendedBaseMessages", "LoginMessages"})
        ASSERT_TRUE(MessageManager::GetSingleton().LoadMessageModule(HY_DATA_SOURCE_DIR, module));
}

RecordingLogin::RecordingLogin() {
    EXPECT_TRUE(Initialize(HY_DATA_SOURCE_DIR, "{00000000-1111-2222-3333-444444444444}"));
    SetLocale("English");
}

bool RecordingLogin::WaitForOutcome(size_t count) {
    return PumpUntil([&] { return outcomes.size() >= count; });
}

void RecordingLogin::OnLoginSuccessful(uint64_t accountId, const std::string& passKey, int paying) {
    outcomes.push_back({true, accountId, passKey, paying, 0, ""});
}

void RecordingLogin::OnLoginFailed(uint64_t accountId, const std::string& passKey, int result,
                                   const std::string& banText) {
    outcomes.push_back({false, accountId, passKey, 0, result, banText});
}

bool ScriptedSession::AppProcessMessage(const MsgBufferRef& buffer) {
    DMLRecord request;
    if (MessageManager::GetSingleton().MessageFromBinary(request, buffer->Data(), buffer->Length(),
                                                         255) < 0)
        return false;
    m_script(*this, request);
    return true;
}

SessionSalt ScriptedSession::Salt() const {
    return SessionSalt{Record().ownSessionId, Record().createdSeconds, Record().createdMilliseconds};
}

bool ScriptedSession::Reply(DMLRecord& reply) {
    std::string bytes = MessageManager::GetSingleton().MessageToBinary(reply);
    return !bytes.empty() && SendMessage(bytes.data(), static_cast<uint32_t>(bytes.size()));
}

ScriptedServer::ScriptedServer(ReplyScript script)
    : m_script(std::move(script)),
      m_recordingScript([this](ScriptedSession& session, DMLRecord& request) {
          MessageManager& messages = MessageManager::GetSingleton();
          received.push_back({request, session.Salt(),
                              messages.GetMessageName(request.ServiceId(), request.MessageType())});
          if (m_script) m_script(session, request);
      }),
      m_server([this] {
          ++connections;
          return std::make_unique<ScriptedSession>(m_recordingScript);
      }) {
    EXPECT_EQ(m_server.Listen(HYInetAddress(INADDR_LOOPBACK, 0)), 0);
}

DMLRecord MakeReply(const char* messageName) {
    DMLRecord reply;
    MessageManager::GetSingleton().PrepMessage(reply, messageName);
    return reply;
}

}  // namespace logintest

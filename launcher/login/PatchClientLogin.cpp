#include "PatchClientLogin.h"

#include "AccountName.h"
#include "LogMessage.h"
#include "MessageManager.h"
#include "OsNetwork.h"

namespace {

constexpr const char* kCategory = "CORE_PATCH_CLNT";
constexpr const char* kNetCategory = "PLAT_NET";
constexpr const char* kLoginCategory = "LOGIN";
// Received messages are decoded with the highest access level: none is refused for it.
constexpr uint8_t kAccessLevel = 255;
// Secrets keep their log lines, with this in place of the value.
constexpr const char* kHidden = "***";

// The machine id: the last network adapter's hardware address as a 48-bit big-endian number,
// 0 when there is none.
uint64_t MachineId() {
    uint8_t address[6] = {};
    if (!HY_OS::GetMachineId(address)) return 0;
    uint64_t id = 0;
    for (uint8_t byte : address) id = (id << 8) | byte;
    return id;
}

}  // namespace

PatchClientLogin::PatchClientLogin()
    : ClientSession(kSessionSetting),
      m_authenRspHandler("MSG_UserAuthenRsp", this, &PatchClientLogin::MSG_UserAuthenRsp),
      m_validateRspHandler("MSG_UserValidateRsp", this, &PatchClientLogin::MSG_UserValidateRsp),
      m_rawTextHandler("MSG_RawText", this, &PatchClientLogin::MSG_RawText),
      m_rawRecordHandler("MSG_RawRecord", this, &PatchClientLogin::MSG_RawRecord),
      m_replyTimer([this] { SrvReplyTOHandler(); }, "PatchClientLogin::SrvReplyTOHandler",
                   __FILE__, __LINE__),
      m_stopEvent([this] { StopIndHandler(); }, "PatchClientLogin::StopIndHandler", __FILE__,
                  __LINE__) {
    SetName("PatchClientLogin");
    SetRetryDelay(kRetryDelayMs);
    m_dispatcher.RegisterHandler(m_authenRspHandler);
    m_dispatcher.RegisterHandler(m_validateRspHandler);
    m_dispatcher.RegisterHandler(m_rawTextHandler);
    m_dispatcher.RegisterHandler(m_rawRecordHandler);
}

PatchClientLogin::~PatchClientLogin() {
    m_replyTimer.Stop();
    WipeString(m_password);
    WipeString(m_passKey);
}

bool PatchClientLogin::Initialize(const std::string& dataDirectory,
                                  const std::string& patchClientId) {
    if (m_loginState != LS_Uninitialised && m_loginState != LS_Idle) {
        HY_LOG(LL_Error, kCategory, "PatchClientLogin::Initialize",
               "Unable to initialize PatchClientLogin: Invalid state");
        return false;
    }
    if (patchClientId.empty())
        HY_LOG(LL_Error, kNetCategory, "PatchClientLogin::Initialize",
               "Failed to initialize PatchClientID");
    m_patchClientId = patchClientId;
    MessageManager& messages = MessageManager::GetSingleton();
    for (const char* module : {"BaseMessages", "ExtendedBaseMessages", "LoginMessages"}) {
        if (!messages.LoadMessageModule(dataDirectory, module)) {
            HY_LOG(LL_Error, kCategory, "PatchClientLogin::Initialize",
                   "Unable to initialize PatchClientLogin: Fail to load message modules");
            return false;
        }
    }
    m_loginState = LS_Idle;
    return true;
}

bool PatchClientLogin::ConnectServer(const std::string& host, uint16_t port, uint32_t timeoutMs) {
    HY_LOG(LL_Status, kCategory, "PatchClientLogin::ConnectServer", "Connecting to Login Server");
    SetServer(host, port);
    if (!StartConnect(timeoutMs)) {
        HY_LOG(LL_Error, kCategory, "PatchClientLogin::ConnectServer",
               "Error connecting to the Login Server");
        m_loginState = LS_Idle;
        return false;
    }
    m_loginState = LS_Connecting;
    return true;
}

bool PatchClientLogin::AuthenticateUser(const std::string& host, uint16_t port,
                                        const std::string& accountName,
                                        const std::string& password, uint32_t timeoutMs) {
    if (m_loginState != LS_Idle || accountName.empty()) {
        HY_LOG(LL_Error, kCategory, "PatchClientLogin::AuthenticateUser",
               "Unable to authenticate user: Invalid login state or username is missing");
        return false;
    }
    // The name is checked before connecting: a name that cannot be sent must not leave a
    // connection behind that would later carry a request.
    size_t codePoints = 0;
    if (!CountUtf8CodePoints(accountName, codePoints)) {
        HY_LOG(LL_Status, kCategory, "PatchClientLogin::AuthenticateUser",
               "Username was corrupted when converted to UTF-8");
        return false;
    }
    if (!ConnectServer(host, port, timeoutMs)) {
        HY_LOG(LL_Status, kCategory, "PatchClientLogin::AuthenticateUser",
               "Unable to authenticate user: Fail to connect to the login server");
        return false;
    }
    if (codePoints > kMaxAccountNameCodePoints) {
        HY_LOG(LL_Status, kCategory, "PatchClientLogin::AuthenticateUser",
               "Username is longer than account limit of 320 characters, truncating to 320.");
        m_accountName = TruncateUtf8(accountName, kMaxAccountNameCodePoints);
    } else {
        m_accountName = accountName;
    }
    WipeString(m_password);
    m_password = password;
    m_mode = LM_Authenticate;
    m_result = LR_Success;
    m_timeoutMs = timeoutMs;
    return true;
}

bool PatchClientLogin::ValidateUser(const std::string& host, uint16_t port, uint64_t accountId,
                                    const std::string& passKey, uint32_t timeoutMs) {
    if (m_loginState != LS_Idle || passKey.empty()) {
        HY_LOG(LL_Error, kCategory, "PatchClientLogin::ValidateUser",
               "Unable to validate user: Invalid login state or passkey is missing");
        return false;
    }
    if (!ConnectServer(host, port, timeoutMs)) {
        HY_LOG(LL_Status, kCategory, "PatchClientLogin::ValidateUser",
               "Unable to authenticate user: Fail to connect to the login server");
        return false;
    }
    m_mode = LM_Validate;
    m_result = LR_Success;
    m_accountId = accountId;
    if (&passKey != &m_passKey) {
        WipeString(m_passKey);
        m_passKey = passKey;
    }
    m_timeoutMs = timeoutMs;
    return true;
}

void PatchClientLogin::ConnectComplete() {
    if (!InSignIn()) {
        // A connect that outlived its sign-in: nothing is sent on it.
        Close(true);
        return;
    }
    HY_LOG(LL_Status, kCategory, "PatchClientLogin::ConnectComplete",
           "Connected to Login Server (Phase 1)");
    m_requestSent = false;
    m_replyTimer.StartTimer(m_timeoutMs);
}

void PatchClientLogin::ConnectFailed() {
    if (!InSignIn()) return;
    HY_LOG(LL_Status, kCategory, "PatchClientLogin::ConnectFailed",
           "Unable to connect Login Server");
    m_result = FailureReason();
    Stop();
}

SessionSalt PatchClientLogin::CurrentSalt() const {
    return SessionSalt{Record().serverSessionId, Record().offerSeconds, Record().offerMilliseconds};
}

void PatchClientLogin::AppSessionEstablished() {
    if (!InSignIn()) {
        Close(true);
        return;
    }
    m_replyTimer.Stop();
    HY_LOG(LL_Status, kCategory, "PatchClientLogin::AppSessionEstablished",
           "Connected to Login Server (Phase 2)");
    m_loginState = LS_Established;
    DMLRecord request;
    BuildRequest(request, CurrentSalt());
    m_lastRequest = request;
    HY_LOG(LL_Status, kCategory, "PatchClientLogin::AppSessionEstablished",
           "Message Data: IsSteamPatcher %d", 0);
    if (SendRequest(request)) {
        m_requestSent = true;
        m_replyTimer.StartTimer(m_timeoutMs);
    } else {
        CommunicationError();
    }
}

void PatchClientLogin::BuildRequest(DMLRecord& request, const SessionSalt& salt) {
    MessageManager& messages = MessageManager::GetSingleton();
    if (m_mode == LM_Validate) {
        std::string passKey3 = ComputePassKey3(m_passKey, salt);
        HY_LOG(LL_Status, kCategory, "PatchClientLogin::AppSessionEstablished", "Remote SID is %d",
               static_cast<int>(salt.sid));
        HY_LOG(LL_Status, kCategory, "PatchClientLogin::AppSessionEstablished", "PassKey 2 is  %s",
               kHidden);
        HY_LOG(LL_Status, kCategory, "PatchClientLogin::AppSessionEstablished", "PassKey 3 is  %s",
               kHidden);
        messages.PrepMessage(request, "MSG_USER_VALIDATE");
        request.GetField("UserID").SetValue(m_accountId);
        request.GetField("PassKey3").SetValue(std::string_view(passKey3));
        request.GetField("Locale").SetValue(std::string_view(m_locale));
        WipeString(passKey3);
    } else {
        std::string clientKey = ComputeClientKey(m_password, salt);
        HY_LOG(LL_DebugMed, kNetCategory, "PatchClientLogin::AppSessionEstablished",
               "   SID:        %u", static_cast<unsigned>(salt.sid));
        HY_LOG(LL_DebugMed, kNetCategory, "PatchClientLogin::AppSessionEstablished",
               "   TimeSecs:   %u", salt.seconds);
        HY_LOG(LL_DebugMed, kNetCategory, "PatchClientLogin::AppSessionEstablished",
               "   TimeMillis: %u", salt.milliseconds);
        HY_LOG(LL_DebugMed, kNetCategory, "PatchClientLogin::AppSessionEstablished",
               "   ClientKey:  %s", kHidden);
        std::string rec1 = EncryptSignInRecord(m_accountName, clientKey, salt);
        WipeString(clientKey);
        messages.PrepMessage(request, "MSG_USER_AUTHEN");
        request.GetField("Rec1").SetValue(std::string_view(rec1));
        request.GetField("MachineID").SetValue(MachineId());
        request.GetField("Locale").SetValue(std::string_view(m_locale));
    }
    HY_LOG(LL_Status, kLoginCategory, "PatchClientLogin::AppSessionEstablished",
           "Is Steam Build = %d", 0);
    request.GetField("PatchClientID").SetValue(std::string_view(m_patchClientId));
    request.GetField("IsSteamPatcher").SetValue(uint8_t{0});
}

bool PatchClientLogin::SendRequest(DMLRecord& request) {
    std::string bytes = MessageManager::GetSingleton().MessageToBinary(request);
    if (bytes.empty()) return false;
    return SendMessage(bytes.data(), static_cast<uint32_t>(bytes.size()));
}

void PatchClientLogin::SrvReplyTOHandler() {
    if (!InSignIn()) return;
    HY_LOG(LL_Status, kCategory, "PatchClientLogin::SrvReplyTOHandler",
           "Timed out waiting for response from Login Server (error 108)");
    // The resend repeats a request that went out on this connection; a time-out before the
    // session was established has nothing to repeat.
    if (m_resendCount < 1 && m_requestSent) {
        ++m_resendCount;
        if (SendRequest(m_lastRequest)) {
            m_replyTimer.StartTimer(m_timeoutMs);
            return;
        }
    }
    CommunicationError();
}

void PatchClientLogin::CommunicationError() {
    m_result = LR_CommunicationError;
    m_replyTimer.Stop();
    if (m_reconnectCount > 1) {
        Stop();
        return;
    }
    ++m_reconnectCount;
    HY_LOG(LL_Status, kCategory, "PatchClientLogin::CommunicationError",
           "Attempting to reconnect after error 108");
    ReconnectSession();
}

void PatchClientLogin::ReconnectSession() {
    // A session marked closing ignores a reconnect, which would leave the sign-in waiting for
    // nothing: it ends instead.
    if (IsClosing()) {
        Stop();
        return;
    }
    Reconnect();
}

void PatchClientLogin::AppCloseConnection() {
    HY_LOG(LL_Status, kCategory, "PatchClientLogin::AppCloseConnection",
           "Disconnected from Login Server");
    if (InSignIn()) {
        m_result = LR_ConnectionClosed;
        if (m_reconnectCount == 0) {
            m_reconnectCount = 1;
            HY_LOG(LL_Status, kCategory, "PatchClientLogin::AppCloseConnection",
                   "Attempting to reconnect after error 109");
            ReconnectSession();
        } else {
            // No reconnect is left: the sign-in ends now with the closed connection as its
            // result rather than waiting for the reply timer.
            Stop();
        }
    } else if (m_loginState == LS_Stopping) {
        RaiseStopEvent();
    }
}

bool PatchClientLogin::AppProcessMessage(const MsgBufferRef& buffer) {
    DMLRecord record;
    MessageManager& messages = MessageManager::GetSingleton();
    // The payload ends with the sender's zero byte; the message header gives the length.
    int used = messages.MessageFromBinary(record, buffer->Data(), buffer->Length(), kAccessLevel);
    if (used < 0) {
        HY_LOG(LL_Warning, kCategory, "PatchClientLogin::AppProcessMessage",
               "Dropped a message from the Login Server that does not decode (%d)", used);
        return false;
    }
    const std::string& name = messages.GetEventName(record);
    if (name.empty()) return false;
    Event event(record);
    return m_dispatcher.SendEvent(name, event) != 0;
}

bool PatchClientLogin::Stop() {
    m_loginState = LS_Stopping;
    m_replyTimer.Stop();
    if (IsConnectionOpen())
        HY_LOG(LL_Status, kCategory, "PatchClientLogin::Stop", "Disconnecting from Login Server");
    else
        HY_LOG(LL_Status, kCategory, "PatchClientLogin::Stop",
               "Already disconnected from Login Server");
    // Closing with abort drops the connection or a connect in progress and keeps the session from
    // starting a connect of its own later, which would send the request again after the sign-in
    // ended. The closed-connection handling, when there is one, is queued before the stop event
    // and so runs first.
    Close(true);
    RaiseStopEvent();
    return true;
}

void PatchClientLogin::StopLogin() {
    if (!InSignIn()) return;
    m_result = LR_Stopped;
    Stop();
}

void PatchClientLogin::RaiseStopEvent() {
    if (!m_stopEvent.IsQueued()) m_stopEvent.Signal();
}

void PatchClientLogin::StopIndHandler() {
    HY_LOG(LL_Status, kCategory, "PatchClientLogin::StopIndHandler", "Post Login stopped");
    if (m_loginState == LS_Idle) return;
    m_loginState = LS_Idle;
    m_replyTimer.Stop();
    if (m_result == LR_Success)
        OnLoginSuccessful(m_accountId, m_passKey, m_paying);
    else
        OnLoginFailed(m_accountId, m_passKey, m_result, m_banText);
}

// The login client: signs the player in at the login server over one client session, either with
// the account name and password (MSG_USER_AUTHEN) or, after a relaunch, with the account id and
// the pass key of an earlier sign-in (MSG_USER_VALIDATE). One request per sign-in; the outcome
// reaches the owner through OnLoginSuccessful or OnLoginFailed, exactly once per sign-in, from
// the stop event. Everything runs on the thread that made the object.
//
// Limits that hold for the whole process: one resend after a reply time-out; two reconnects
// after communication errors and one after a closed connection, counted together.
#pragma once

#include <cstdint>
#include <string>

#include "ClientSession.h"
#include "CredentialProtection.h"
#include "DMLRecord.h"
#include "EventDispatcher.h"
#include "EventHandler.h"
#include "HYEvent.h"
#include "HYTimer.h"
#include "LoginTypes.h"

class PatchClientLogin : public ClientSession {
public:
    // The session's queue setting and the delay after which the session retries by itself.
    static constexpr uint32_t kSessionSetting = 10000;
    static constexpr uint32_t kRetryDelayMs = 1000;

    PatchClientLogin();
    ~PatchClientLogin() override;

    // Stores the patch client id and loads the message modules "BaseMessages",
    // "ExtendedBaseMessages" and "LoginMessages" (found through the resource manager, or in
    // `dataDirectory` when none is installed). Allowed while uninitialised or idle.
    bool Initialize(const std::string& dataDirectory, const std::string& patchClientId);

    // Starts a sign-in with name and password; false (and no callback) when it could not start.
    bool AuthenticateUser(const std::string& host, uint16_t port, const std::string& accountName,
                          const std::string& password, uint32_t timeoutMs);
    // Starts a sign-in with the account id and pass key of an earlier sign-in.
    bool ValidateUser(const std::string& host, uint16_t port, uint64_t accountId,
                      const std::string& passKey, uint32_t timeoutMs);
    // Ends the sign-in: closes the session, then the stop event makes the callback.
    bool Stop();
    // The owner's stop request: a sign-in in progress ends with result 17.
    void StopLogin();

    void SetLocale(const std::string& locale) { m_locale = locale; }
    // The web session id preset from the command line; a successful sign-in replaces it.
    void SetWebSessionId(const std::string& id) { m_webSessionId = id; }

    int GetLoginState() const { return m_loginState; }
    int GetLoginMode() const { return m_mode; }
    int GetLoginResult() const { return m_result; }
    // True while a sign-in is being ended and its callback has not been made yet.
    bool IsStopping() const { return m_loginState == LS_Stopping; }
    uint64_t AccountId() const { return m_accountId; }
    const std::string& PassKey() const { return m_passKey; }
    int PayingFlag() const { return m_paying; }
    const std::string& WebSessionId() const { return m_webSessionId; }
    const std::string& BanText() const { return m_banText; }
    const std::string& AccountName() const { return m_accountName; }
    const std::string& Locale() const { return m_locale; }
    const std::string& PatchClientId() const { return m_patchClientId; }
    uint32_t ReconnectCount() const { return m_reconnectCount; }
    uint32_t ResendCount() const { return m_resendCount; }

    // Session callbacks.
    void ConnectComplete() override;
    void ConnectFailed() override;
    void AppSessionEstablished() override;
    bool AppProcessMessage(const MsgBufferRef& buffer) override;
    void AppCloseConnection() override;

protected:
    // The owner's callbacks; the defaults do nothing.
    virtual void OnLoginSuccessful(uint64_t accountId, const std::string& passKey, int paying) {}
    virtual void OnLoginFailed(uint64_t accountId, const std::string& passKey, int result,
                               const std::string& banText) {}

    // Reply handlers, by the event names of the message module.
    int MSG_UserAuthenRsp(DMLRecord& record);
    int MSG_UserValidateRsp(DMLRecord& record);
    int MSG_RawText(DMLRecord& record) { return 1; }
    int MSG_RawRecord(DMLRecord& record) { return 1; }

private:
    // The reply fuzz target puts a client straight into the state that awaits a reply.
    friend class PatchClientLoginReplyProbe;

    bool ConnectServer(const std::string& host, uint16_t port, uint32_t timeoutMs);
    bool InSignIn() const { return m_loginState == LS_Connecting || m_loginState == LS_Established; }
    SessionSalt CurrentSalt() const;
    // Builds the request of the current mode into `request`.
    void BuildRequest(DMLRecord& request, const SessionSalt& salt);
    bool SendRequest(DMLRecord& request);
    void SrvReplyTOHandler();
    void CommunicationError();
    void ReconnectSession();
    void StopIndHandler();
    void RaiseStopEvent();

    int m_loginState = LS_Uninitialised;
    int m_mode = LM_Authenticate;
    int m_result = LR_Success;
    std::string m_banText;
    std::string m_accountName;
    std::string m_password;
    uint64_t m_accountId = 0;
    std::string m_passKey;
    int m_paying = 0;
    std::string m_webSessionId;
    std::string m_locale;
    std::string m_patchClientId;
    uint32_t m_timeoutMs = 0;
    uint32_t m_reconnectCount = 0;
    uint32_t m_resendCount = 0;
    DMLRecord m_lastRequest;
    bool m_requestSent = false;  // the kept request went out on the current connection
    const LoginErrorCodes m_errors;

    EventDispatcher m_dispatcher;
    EventHandler<PatchClientLogin, DMLRecord&> m_authenRspHandler;
    EventHandler<PatchClientLogin, DMLRecord&> m_validateRspHandler;
    EventHandler<PatchClientLogin, DMLRecord&> m_rawTextHandler;
    EventHandler<PatchClientLogin, DMLRecord&> m_rawRecordHandler;
    CallbackTimer m_replyTimer;
    CallbackEvent m_stopEvent;
};

// The login client's reply handlers: the result of a sign-in from the server's answer.
#include "PatchClientLogin.h"

#include "BanText.h"
#include "LogMessage.h"
#include "OsTime.h"

namespace {

constexpr const char* kCategory = "CORE_PATCH_CLNT";

const DMLField* Field(const DMLRecord& record, const char* name) { return record.FindField(name); }

uint32_t UIntField(const DMLRecord& record, const char* name) {
    const DMLField* field = Field(record, name);
    return field ? field->GetUInt() : 0;
}

std::string TextField(const DMLRecord& record, const char* name) {
    const DMLField* field = Field(record, name);
    return field ? field->ToStr() : std::string();
}

}  // namespace

int PatchClientLogin::MSG_UserAuthenRsp(DMLRecord& record) {
    // Only the reply to the request of the sign-in in progress counts.
    if (m_loginState != LS_Established || m_mode != LM_Authenticate) return 1;
    m_replyTimer.Stop();
    m_banText.clear();
    const char* function = "PatchClientLogin::MSG_UserAuthenRsp";
    uint32_t error = UIntField(record, "Error");
    if (error == m_errors.accountBanned || error == m_errors.machineBanned) {
        bool account = error == m_errors.accountBanned;
        m_banText = TextField(record, "TimeStamp");
        if (!m_banText.empty()) {
            HY_LOG(LL_DebugMed, kCategory, function,
                   account ? "MSG_USER_AUTHEN_RSP: User banned until %s"
                           : "MSG_USER_AUTHEN_RSP: Machine banned until %s",
                   m_banText.c_str());
            m_result = account ? LR_AccountBannedUntil : LR_MachineBannedUntil;
        } else {
            HY_LOG(LL_DebugMed, kCategory, function, "%s",
                   account ? "MSG_USER_AUTHEN_RSP: User banned"
                           : "MSG_USER_AUTHEN_RSP: Machine banned");
            m_result = account ? LR_AccountBanned : LR_MachineBanned;
        }
    } else if (error == m_errors.noLogin) {
        m_result = LR_LoginNotAllowed;
    } else if (error == m_errors.authenFailed) {
        std::string reason = TextField(record, "Reason");
        if (reason == kReasonAuthDown) {
            HY_LOG(LL_DebugMed, kCategory, function, "MSG_USER_AUTHEN_RSP: Authen server down");
            m_result = LR_AuthServerDown;
        } else if (reason == kReasonAuthBanned) {
            HY_LOG(LL_DebugMed, kCategory, function, "MSG_USER_AUTHEN_RSP: User banned (auth)");
            m_result = LR_AuthBanned;
        } else if (reason == kReasonAuthQuarantined) {
            HY_LOG(LL_DebugMed, kCategory, function, "MSG_USER_AUTHEN_RSP: User quarantined");
            m_result = LR_Quarantined;
        } else if (reason == kReasonAccountClientMismatch) {
            HY_LOG(LL_DebugMed, kCategory, function,
                   "MSG_USER_AUTHEN_RSP: Account/Client missmatch");
            m_result = LR_AccountClientMismatch;
        } else {
            HY_LOG(LL_DebugMed, kCategory, function, "MSG_USER_AUTHEN_RSP: Wrong name//password");
            m_result = LR_WrongNameOrPassword;
        }
    } else {
        m_result = LR_WrongNameOrPassword;
        std::string passKey;
        std::string rec1 = TextField(record, "Rec1");
        if (!rec1.empty() && DecodeSignInReply(rec1, CurrentSalt(), passKey)) {
            const DMLField* userId = Field(record, "UserID");
            const DMLField* paying = Field(record, "PayingUser");
            m_accountId = userId ? userId->GetGID() : 0;
            WipeString(m_passKey);
            m_passKey = passKey;
            m_paying = paying ? paying->GetInt() : 0;
            m_webSessionId = TextField(record, "JSessionID");
            if (error == m_errors.ftpCapped) {
                m_result = LR_FreeToPlayCapped;
                HY_LOG(LL_DebugMed, kCategory, function,
                       "MSG_USER_AUTHEN_RSP: FTP capped. Paying=%d", m_paying);
            } else {
                m_result = LR_Success;
                HY_LOG(LL_DebugMed, kCategory, function,
                       "MSG_USER_AUTHEN_RSP: Success. Paying=%d", m_paying);
            }
        }
        WipeString(passKey);
        if (m_result == LR_WrongNameOrPassword)
            HY_LOG(LL_DebugMed, kCategory, function, "MSG_USER_AUTHEN_RSP: Invalid passKey");
    }
    Stop();
    return 1;
}

int PatchClientLogin::MSG_UserValidateRsp(DMLRecord& record) {
    if (m_loginState != LS_Established || m_mode != LM_Validate) return 1;
    m_replyTimer.Stop();
    // As for an authentication reply, the ban text belongs to this reply alone.
    m_banText.clear();
    const char* function = "PatchClientLogin::MSG_UserValidateRsp";
    uint32_t error = UIntField(record, "Error");
    if (error == m_errors.validateFailed) {
        HY_LOG(LL_DebugMed, kCategory, function, "MSG_USER_VALIDATE_RSP: Wrong passkey");
        m_result = LR_WrongPassKey;
    } else if (error == m_errors.noLogin) {
        m_result = LR_LoginNotAllowed;
    } else if (error == m_errors.accountBanned || error == m_errors.machineBanned) {
        bool account = error == m_errors.accountBanned;
        m_banText = BanEndText(TextField(record, "TimeStamp"),
                               static_cast<int64_t>(HY_OS::GetTimeMs() / 1000));
        if (!m_banText.empty()) {
            HY_LOG(LL_DebugMed, kCategory, function,
                   account ? "MSG_USER_VALIDATE_RSP: User banned until %s"
                           : "MSG_USER_VALIDATE_RSP: Machine banned until %s",
                   m_banText.c_str());
            m_result = account ? LR_AccountBannedUntil : LR_MachineBannedUntil;
        } else {
            HY_LOG(LL_DebugMed, kCategory, function, "%s",
                   account ? "MSG_USER_VALIDATE_RSP: User banned"
                           : "MSG_USER_VALIDATE_RSP: Machine banned");
            m_result = account ? LR_AccountBanned : LR_MachineBanned;
        }
    } else if (error == m_errors.ftpCapped) {
        HY_LOG(LL_DebugMed, kCategory, function, "MSG_USER_VALIDATE_RSP: FTP capped. Paying=%d",
               m_paying);
        m_result = LR_FreeToPlayCapped;
    } else {
        const DMLField* paying = Field(record, "PayingUser");
        m_paying = paying ? paying->GetInt() : 0;
        HY_LOG(LL_DebugMed, kCategory, function, "MSG_USER_VALIDATE_RSP: Success. Paying=%d",
               m_paying);
    }
    Stop();
    return 1;
}

// The login client's states, modes, results and the codes of the reply's error names.
#pragma once

#include <cstdint>
#include <string_view>

enum LoginState : int {
    LS_Uninitialised = 0,
    LS_Connecting = 1,
    LS_Established = 2,  // session up, request sent
    LS_Stopping = 3,
    LS_Idle = 4,  // ready for a sign-in
};

enum LoginMode : int {
    LM_Authenticate = 0,
    LM_Validate = 1,
};

// The outcome of one sign-in, handed to OnLoginSuccessful (0) or OnLoginFailed (any other).
enum LoginResult : int {
    LR_Success = 0,
    LR_ConnectStartFailed = 1,  // the session's failure reasons 1 and 4 are passed on as they are
    LR_ConnectFailed = 4,
    LR_CommunicationError = 5,  // "error 108"
    LR_ConnectionClosed = 6,    // "error 109"
    LR_AuthServerDown = 7,
    LR_WrongNameOrPassword = 8,
    LR_WrongPassKey = 9,
    LR_AccountBanned = 10,
    LR_AccountBannedUntil = 11,
    LR_MachineBanned = 12,
    LR_MachineBannedUntil = 13,
    LR_FreeToPlayCapped = 14,
    LR_AuthBanned = 15,
    LR_Quarantined = 16,
    LR_Stopped = 17,
    LR_LoginNotAllowed = 18,
    LR_AccountClientMismatch = 19,
};

// The 31-bit djb2 hash of a symbolic error name, as the reply's `Error` field carries it:
// h = 5381, h = h * 33 + c for each character in 32 bits, then h & 0x7FFFFFFF.
constexpr uint32_t ErrorNameCode(std::string_view name) {
    uint32_t h = 5381;
    for (char c : name) h = h * 33u + static_cast<uint32_t>(static_cast<unsigned char>(c));
    return h & 0x7FFFFFFFu;
}

// The error names the login client knows.
struct LoginErrorCodes {
    uint32_t accountBanned = ErrorNameCode("Error_AccountBanned");
    uint32_t machineBanned = ErrorNameCode("Error_MachineBanned");
    uint32_t ftpCapped = ErrorNameCode("Error_FtpCapped");
    uint32_t noLogin = ErrorNameCode("AISNoLogin");
    uint32_t authenFailed = ErrorNameCode("Error_AuthenFailed");
    uint32_t validateFailed = ErrorNameCode("Error_ValidateFailed");
};

// The `Reason` texts of an Error_AuthenFailed reply.
inline constexpr const char* kReasonAuthDown = "AuthDown";
inline constexpr const char* kReasonAuthBanned = "AuthBanned";
inline constexpr const char* kReasonAuthQuarantined = "AuthQuarantined";
inline constexpr const char* kReasonAccountClientMismatch = "AccountClientMismatch";

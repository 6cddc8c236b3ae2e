// larksignin: signs one player in at a login server with the launcher's own login client, the
// way the launcher does after "Login", and prints the outcome. The password is read as one line
// from standard input; the pass key is never printed. The client logs to "LarkLauncher.Log.txt"
// in the current directory.
//
//   larksignin --host HOST --port PORT --data DIR --name ACCOUNT
//
// Exit codes: 0 signed in, 1 the sign-in failed (the result is printed), 2 bad command line.
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>

#include "HYThread.h"
#include "LauncherLog.h"
#include "PatchClientId.h"
#include "PatchClientLogin.h"

namespace {

constexpr uint32_t kTimeoutMs = 10000;

// The login client with its two outcomes recorded.
class SignIn : public PatchClientLogin {
public:
    bool done = false;
    bool succeeded = false;

protected:
    void OnLoginSuccessful(uint64_t, const std::string&, int) override {
        done = true;
        succeeded = true;
    }
    void OnLoginFailed(uint64_t, const std::string&, int, const std::string&) override {
        done = true;
    }
};

int Usage() {
    std::fprintf(stderr,
                 "usage: larksignin --host HOST --port PORT --data DIR --name ACCOUNT"
                 "   (password on standard input)\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    std::string host, data, name;
    long port = -1;
    for (int i = 1; i + 1 < argc; i += 2) {
        std::string option = argv[i];
        if (option == "--host") host = argv[i + 1];
        else if (option == "--port") port = std::strtol(argv[i + 1], nullptr, 10);
        else if (option == "--data") data = argv[i + 1];
        else if (option == "--name") name = argv[i + 1];
        else return Usage();
    }
    if (argc % 2 == 0 || host.empty() || data.empty() || name.empty() || port <= 0 || port > 65535) {
        return Usage();
    }
    std::string password;
    std::getline(std::cin, password);

    if (HYLog::StartLauncherLog() != 0) {
        std::fprintf(stderr, "larksignin: cannot open the log file\n");
        return 1;
    }
    HYThread* main = HYThread::Current();
    int exitCode = 1;
    {
        SignIn login;
        if (!login.Initialize(data, NewGuidText())) {
            std::fprintf(stderr, "larksignin: the message modules in %s could not be loaded\n",
                         data.c_str());
        } else if (!login.AuthenticateUser(host, static_cast<uint16_t>(port), name, password,
                                           kTimeoutMs)) {
            std::fprintf(stderr, "larksignin: the sign-in could not start (result %d)\n",
                         login.GetLoginResult());
        } else {
            while (!login.done) main->RunOnce(true, true);
            if (login.succeeded) {
                std::printf("signed in: account id %llu, paying %d, pass key of %zu characters\n",
                            static_cast<unsigned long long>(login.AccountId()), login.PayingFlag(),
                            login.PassKey().size());
                exitCode = 0;
            } else {
                std::printf("sign-in failed: result %d%s%s\n", login.GetLoginResult(),
                            login.BanText().empty() ? "" : ", ", login.BanText().c_str());
            }
        }
        password.assign(password.size(), '\0');
        login.Stop();
        // A few passes let the closing session finish before it is destroyed.
        for (int i = 0; i < 5; ++i) main->RunOnce(false, true);
    }
    HYLog::StopLogging();
    return exitCode;
}

#include "ServerCommands.h"

#include <cstdlib>
#include <istream>
#include <map>
#include <ostream>

#include "CredentialProtection.h"
#include "HYInetAddress.h"
#include "HYThread.h"
#include "HYTimer.h"
#include "LauncherLog.h"
#include "LoginAccounts.h"
#include "LoginServer.h"
#include "OsFile.h"

namespace {

constexpr const char* kUsage =
    "usage:\n"
    "  larkserver login --port N --data DIR --accounts FILE [--listen ADDRESS] [--log FILE]\n"
    "  larkserver add-account --accounts FILE --name NAME [--id N] [--paying N]\n"
    "                         [--outcome NAME] [--ban TEXT]   (password on standard input)\n";

// "--name value" pairs after the command word; false on a stray word or a missing value.
bool ParseOptions(const std::vector<std::string>& args, std::map<std::string, std::string>& options,
                  std::ostream& err) {
    for (size_t i = 1; i < args.size(); i += 2) {
        if (args[i].rfind("--", 0) != 0 || i + 1 >= args.size()) {
            err << "larkserver: unexpected argument '" << args[i] << "'\n" << kUsage;
            return false;
        }
        options[args[i].substr(2)] = args[i + 1];
    }
    return true;
}

bool ParseNumber(const std::string& text, uint64_t limit, uint64_t& value) {
    if (text.empty() || text.size() > 20) return false;
    for (char c : text)
        if (c < '0' || c > '9') return false;
    value = std::strtoull(text.c_str(), nullptr, 10);
    return value <= limit;
}

}  // namespace

int RunLoginCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                    const std::atomic<bool>& stop) {
    std::map<std::string, std::string> options;
    if (!ParseOptions(args, options, err)) return 2;
    uint64_t port = 0;
    if (!options.count("port") || !options.count("data") || !options.count("accounts") ||
        !ParseNumber(options["port"], 65535, port)) {
        err << "larkserver: login needs --port (0 to 65535), --data and --accounts\n" << kUsage;
        return 2;
    }
    std::string listenAddress = options.count("listen") ? options["listen"] : "127.0.0.1";
    HYInetAddress address;
    if (address.SetAddress(listenAddress, static_cast<uint16_t>(port)) != 0) {
        err << "larkserver: cannot use the address " << listenAddress << "\n";
        return 2;
    }

    LoginAccounts accounts;
    std::string error;
    if (!accounts.Load(options["accounts"], error)) {
        err << "larkserver: " << error << "\n";
        return 1;
    }
    std::string logFile = options.count("log") ? options["log"] : "LarkServer.Log.txt";
    if (HYLog::StartLauncherLog(logFile) != 0) err << "larkserver: no log file " << logFile << "\n";

    int result = 0;
    {
        HYThread* thread = HYThread::Current();
        if (!LoginServer::LoadMessageModules(options["data"])) {
            err << "larkserver: cannot load the message modules from " << options["data"] << "\n";
            result = 1;
        } else {
            LoginServer server(std::move(accounts));
            if (server.Listen(address) != 0) {
                err << "larkserver: cannot listen on " << address.ToText(true) << "\n";
                result = 1;
            } else {
                out << "larkserver: login server listening on " << address.ToText(false) << ":"
                    << server.Port() << std::endl;
                // Wakes the loop a few times a second to look at the stop flag.
                CallbackTimer wake([] {}, "larkserver::Wake", __FILE__, __LINE__, 200);
                wake.StartTimer(200);
                while (!stop.load()) thread->RunOnce(true, true);
                wake.Stop();
            }
        }
    }
    HYLog::StopLogging();
    return result;
}

int RunAddAccountCommand(const std::vector<std::string>& args, std::istream& in,
                         std::ostream& out, std::ostream& err) {
    std::map<std::string, std::string> options;
    if (!ParseOptions(args, options, err)) return 2;
    if (!options.count("accounts") || !options.count("name")) {
        err << "larkserver: add-account needs --accounts and --name\n" << kUsage;
        return 2;
    }
    LoginAccount account;
    account.name = options["name"];
    uint64_t number = 0;
    if (options.count("id")) {
        if (!ParseNumber(options["id"], UINT64_MAX, number)) {
            err << "larkserver: --id must be a number\n";
            return 2;
        }
        account.accountId = number;
    }
    if (options.count("paying")) {
        if (!ParseNumber(options["paying"], 1000000, number)) {
            err << "larkserver: --paying must be a small number\n";
            return 2;
        }
        account.paying = static_cast<int>(number);
    }
    if (options.count("outcome")) {
        std::optional<LoginOutcome> outcome = LoginOutcomeFromName(options["outcome"]);
        if (!outcome) {
            err << "larkserver: unknown outcome '" << options["outcome"] << "'\n";
            return 2;
        }
        account.outcome = *outcome;
    }
    if (options.count("ban")) account.banText = options["ban"];

    std::string password;
    if (!std::getline(in, password) && password.empty()) {
        err << "larkserver: no password on standard input\n";
        return 1;
    }
    if (!password.empty() && password.back() == '\r') password.pop_back();
    if (password.empty()) {
        err << "larkserver: the password is empty\n";
        return 1;
    }
    account.passwordHash = HashText(password);
    WipeString(password);

    LoginAccounts accounts;
    std::string error;
    const std::string& path = options["accounts"];
    if (HY_OS::FileExists(path) && !accounts.Load(path, error)) {
        err << "larkserver: " << error << "\n";
        return 1;
    }
    std::string name = account.name;
    if (!accounts.Add(std::move(account), error)) {
        err << "larkserver: " << error << "\n";
        return 1;
    }
    if (!accounts.Save(path)) {
        err << "larkserver: cannot write " << path << "\n";
        return 1;
    }
    out << "larkserver: added '" << name << "' with id " << accounts.FindByName(name)->accountId
        << "\n";
    return 0;
}

int RunLarkServer(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
                  std::ostream& err, const std::atomic<bool>& stop) {
    if (!args.empty() && args[0] == "login") return RunLoginCommand(args, out, err, stop);
    if (!args.empty() && args[0] == "add-account") return RunAddAccountCommand(args, in, out, err);
    err << kUsage;
    return 2;
}

#include "ServerCommands.h"

#include <cstdlib>
#include <istream>
#include <map>
#include <optional>
#include <ostream>

#include "CredentialProtection.h"
#include "LoginAccounts.h"
#include "OsFile.h"
#include "ServerRoles.h"

namespace {

constexpr const char* kUsage =
    "usage:\n"
    "  larkserver login --port N --data DIR --accounts FILE [--listen ADDRESS] [--log FILE]\n"
    "  larkserver add-account --accounts FILE --name NAME [--id N] [--paying N]\n"
    "                         [--outcome NAME] [--ban TEXT]   (password on standard input)\n"
    "  larkserver patch --port N --data DIR --repository REPO [--http-port N] [--listen ADDRESS]\n"
    "                   [--url-host HOST] [--url-suffix TEXT] [--log FILE]\n"
    "  larkserver serve --data DIR [--login-port N --accounts FILE]\n"
    "                   [--patch-port N --repository REPO [--http-port N]] [--listen ADDRESS]\n"
    "                   [--url-host HOST] [--url-suffix TEXT] [--log FILE]\n"
    "  larkserver --help\n";

constexpr const char* kHelp = R"help(
Roles:
  login        the development login server: signs in the accounts of the accounts file
               (add them with add-account; only password hashes are stored). Pass keys live
               in memory only, so a restart refuses earlier pass keys.
  patch        the development patch server: answers the launcher's latest-file-list request
               with the list of the repository REPO that larkpublish wrote, and serves REPO's
               files over HTTP/1.1 (ranges, keep-alive) on --http-port. A locale that
               REPO/repository.txt does not list is answered with the locale "ERROR1". A new
               publish into REPO is served from the next request on, without a restart.
  serve        both roles in one process (give each role's options).
  add-account  adds an account to the accounts file; the password is read from standard input.

Ports: N = 0 picks a free port. Once listening, each role prints one line
  larkserver: login server listening on ADDRESS:PORT
  larkserver: patch server listening on ADDRESS:PORT
  larkserver: http server listening on ADDRESS:PORT
and the patch role adds "larkserver: serving <list file> version V of REPO". The server
runs until SIGINT or SIGTERM.

Options:
  --data DIR        the message modules (Root.wad or the loose .xml files)
  --listen ADDRESS  the address every role listens on (default 127.0.0.1; 0.0.0.0 for all)
  --url-host HOST   the host name in the URLs the patch server announces (default: the
                    listen address, 127.0.0.1 for 0.0.0.0)
  --http-port N     the HTTP port of the patch role (default 0, a free port)
  --url-suffix TEXT appended to every file URL the launcher forms (e.g. "?build=3")
  --log FILE        the log file (default LarkServer.Log.txt)

A launcher on this machine reaches a server on 127.0.0.1 when it runs with
HY_HOSTNAME=localhost (otherwise it turns 127.0.0.1 into the machine's own address).
The HTTP role serves only regular files below REPO by the names larkpublish gives them:
a path with "..", "." or empty parts, a character outside letters, digits and
"._-+~@()" (backslashes and control characters among them), or one leading outside REPO
through a symbolic link is refused with 403. REPO's layout: see "larkpublish --help".
)help";

// "--name value" pairs after the command word; false on a stray word, a missing value or an
// option the command does not know.
bool ParseOptions(const std::vector<std::string>& args, std::initializer_list<const char*> known,
                  std::map<std::string, std::string>& options, std::ostream& err) {
    for (size_t i = 1; i < args.size(); i += 2) {
        std::string name = args[i].rfind("--", 0) == 0 ? args[i].substr(2) : std::string();
        bool isKnown = false;
        for (const char* option : known) isKnown = isKnown || name == option;
        if (!isKnown || i + 1 >= args.size()) {
            err << "larkserver: unexpected argument '" << args[i] << "' for " << args[0] << "\n"
                << kUsage;
            return false;
        }
        options[name] = args[i + 1];
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

bool ParsePort(std::map<std::string, std::string>& options, const char* name,
               std::optional<uint16_t>& port) {
    uint64_t value = 0;
    if (!options.count(name)) return true;
    if (!ParseNumber(options[name], 65535, value)) return false;
    port = static_cast<uint16_t>(value);
    return true;
}

// Reads the options every role shares; false after a message on `err`.
bool ReadCommonOptions(std::map<std::string, std::string>& options, ServeConfig& config,
                       std::ostream& err) {
    if (options.count("listen")) config.listen = options["listen"];
    if (options.count("log")) config.logFile = options["log"];
    if (options.count("data")) config.data = options["data"];
    if (options.count("repository")) config.repository = options["repository"];
    if (options.count("url-host")) config.urlHost = options["url-host"];
    if (options.count("url-suffix")) config.urlSuffix = options["url-suffix"];
    if (options.count("accounts")) config.accounts = options["accounts"];
    std::optional<uint16_t> http;
    if (!ParsePort(options, "http-port", http)) {
        err << "larkserver: --http-port takes 0 to 65535\n" << kUsage;
        return false;
    }
    config.httpPort = http.value_or(0);
    return true;
}

}  // namespace

int RunLoginCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                    const std::atomic<bool>& stop) {
    std::map<std::string, std::string> options;
    if (!ParseOptions(args, {"port", "data", "accounts", "listen", "log"}, options, err)) return 2;
    ServeConfig config;
    if (!options.count("port") || !options.count("data") || !options.count("accounts") ||
        !ParsePort(options, "port", config.loginPort) || !ReadCommonOptions(options, config, err)) {
        err << "larkserver: login needs --port (0 to 65535), --data and --accounts\n" << kUsage;
        return 2;
    }
    return RunServers(config, out, err, stop);
}

int RunPatchCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                    const std::atomic<bool>& stop) {
    std::map<std::string, std::string> options;
    if (!ParseOptions(
            args,
            {"port", "data", "repository", "http-port", "listen", "url-host", "url-suffix", "log"},
            options, err))
        return 2;
    ServeConfig config;
    if (!options.count("port") || !options.count("data") || !options.count("repository") ||
        !ParsePort(options, "port", config.patchPort) || !ReadCommonOptions(options, config, err)) {
        err << "larkserver: patch needs --port (0 to 65535), --data and --repository\n" << kUsage;
        return 2;
    }
    return RunServers(config, out, err, stop);
}

int RunServeCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                    const std::atomic<bool>& stop) {
    std::map<std::string, std::string> options;
    if (!ParseOptions(args,
                      {"data", "login-port", "accounts", "patch-port", "repository", "http-port",
                       "listen", "url-host", "url-suffix", "log"},
                      options, err))
        return 2;
    ServeConfig config;
    if (!ParsePort(options, "login-port", config.loginPort) ||
        !ParsePort(options, "patch-port", config.patchPort) ||
        !ReadCommonOptions(options, config, err)) {
        err << "larkserver: ports take 0 to 65535\n" << kUsage;
        return 2;
    }
    bool loginComplete = config.loginPort.has_value() == !config.accounts.empty();
    bool patchComplete = config.patchPort.has_value() == !config.repository.empty();
    if (config.data.empty() || !loginComplete || !patchComplete ||
        (!config.loginPort && !config.patchPort)) {
        err << "larkserver: serve needs --data and at least one role: --login-port with "
               "--accounts, "
               "--patch-port with --repository\n"
            << kUsage;
        return 2;
    }
    return RunServers(config, out, err, stop);
}

int RunAddAccountCommand(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
                         std::ostream& err) {
    std::map<std::string, std::string> options;
    if (!ParseOptions(args, {"accounts", "name", "id", "paying", "outcome", "ban"}, options, err))
        return 2;
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
    if (!args.empty() && args[0] == "patch") return RunPatchCommand(args, out, err, stop);
    if (!args.empty() && args[0] == "serve") return RunServeCommand(args, out, err, stop);
    if (!args.empty() && args[0] == "add-account") return RunAddAccountCommand(args, in, out, err);
    if (!args.empty() && (args[0] == "--help" || args[0] == "-h" || args[0] == "help")) {
        out << kUsage << kHelp;
        return 0;
    }
    err << kUsage;
    return 2;
}

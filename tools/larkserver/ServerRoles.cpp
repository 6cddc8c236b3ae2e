#include "ServerRoles.h"

#include <memory>
#include <ostream>

#include "HYInetAddress.h"
#include "HYThread.h"
#include "HYTimer.h"
#include "LauncherLog.h"
#include "LoginAccounts.h"
#include "LoginServer.h"
#include "PatchServer.h"
#include "RepositoryHttpServer.h"

namespace {

HYInetAddress WithPort(HYInetAddress address, uint16_t port) {
    address.SetPort(port);
    return address;
}

}  // namespace

int RunServers(const ServeConfig& config, std::ostream& out, std::ostream& err,
               const std::atomic<bool>& stop) {
    HYInetAddress address;
    if (address.SetAddress(config.listen, 0) != 0) {
        err << "larkserver: cannot use the address " << config.listen << "\n";
        return 2;
    }
    LoginAccounts accounts;
    std::string error;
    if (config.loginPort && !accounts.Load(config.accounts, error)) {
        err << "larkserver: " << error << "\n";
        return 1;
    }
    if (HYLog::StartLauncherLog(config.logFile) != 0)
        err << "larkserver: no log file " << config.logFile << "\n";

    int result = 0;
    {
        HYThread* thread = HYThread::Current();
        std::string host = address.ToText(false);
        std::string urlHost = !config.urlHost.empty() ? config.urlHost
                              : host == "0.0.0.0"     ? "127.0.0.1"
                                                      : host;
        std::unique_ptr<LoginServer> login;
        std::unique_ptr<PatchServer> patch;
        std::unique_ptr<RepositoryHttpServer> http;
        if ((config.loginPort && !LoginServer::LoadMessageModules(config.data)) ||
            (config.patchPort && !PatchServer::LoadMessageModules(config.data))) {
            err << "larkserver: cannot load the message modules from " << config.data << "\n";
            result = 1;
        }
        larkpublish::RepositoryInfo repositoryInfo;
        if (result == 0 && config.patchPort &&
            !larkpublish::LoadRepositoryInfo(config.repository, repositoryInfo, error)) {
            err << "larkserver: " << error << "\n";
            result = 1;
        }
        if (result == 0 && config.patchPort) {
            http = std::make_unique<RepositoryHttpServer>(config.repository);
            if (!http->Start(host, config.httpPort)) {
                err << "larkserver: cannot serve " << config.repository << " over HTTP on " << host
                    << ":" << config.httpPort << "\n";
                result = 1;
            } else {
                std::string urlBase = "http://" + urlHost + ":" + std::to_string(http->Port());
                patch = std::make_unique<PatchServer>(config.repository, urlBase, config.urlSuffix);
                if (!patch->LoadRepository(error)) {
                    err << "larkserver: " << error << "\n";
                    result = 1;
                } else if (patch->Listen(WithPort(address, *config.patchPort)) != 0) {
                    err << "larkserver: cannot listen on " << host << ":" << *config.patchPort
                        << "\n";
                    result = 1;
                }
            }
        }
        if (result == 0 && config.loginPort) {
            login = std::make_unique<LoginServer>(std::move(accounts));
            if (login->Listen(WithPort(address, *config.loginPort)) != 0) {
                err << "larkserver: cannot listen on " << host << ":" << *config.loginPort << "\n";
                result = 1;
            }
        }
        if (result == 0) {
            if (login)
                out << "larkserver: login server listening on " << host << ":" << login->Port()
                    << "\n";
            if (patch) {
                const larkpublish::RepositoryInfo& info = patch->Repository();
                out << "larkserver: patch server listening on " << host << ":" << patch->Port()
                    << "\n"
                    << "larkserver: http server listening on " << host << ":" << http->Port()
                    << "\n"
                    << "larkserver: serving " << info.ListFileName() << " version " << info.version
                    << " of " << config.repository << "\n";
            }
            out << std::flush;
            // Wakes the loop a few times a second to look at the stop flag.
            CallbackTimer wake([] {}, "larkserver::Wake", __FILE__, __LINE__, 200);
            wake.StartTimer(200);
            while (!stop.load()) thread->RunOnce(true, true);
            wake.Stop();
        }
        login.reset();
        patch.reset();
        if (http) http->Stop();
    }
    HYLog::StopLogging();
    return result;
}

#include "HostEnvironment.h"

#include <glib.h>
#include <unistd.h>
#include <cstdlib>
#include <filesystem>

#include "LogMessage.h"

namespace larkhost {
namespace {

constexpr const char* kCategory = "HOST";

void SetOrRemove(std::vector<std::string>& env, const std::string& name, const std::string* value) {
    std::string prefix = name + "=";
    for (auto it = env.begin(); it != env.end();) {
        if (it->compare(0, prefix.size(), prefix) == 0)
            it = env.erase(it);
        else
            ++it;
    }
    if (value != nullptr) env.push_back(prefix + *value);
}

}  // namespace

std::string ApplicationSupportDirectory() {
    const char* data = std::getenv("XDG_DATA_HOME");
    std::string base =
        data != nullptr && *data == '/' ? data : std::string(g_get_home_dir()) + "/.local/share";
    return base + "/Larkspur";
}

std::string DefaultBottleDirectory() { return ApplicationSupportDirectory() + "/Bottles"; }

std::optional<std::string> ManagedBottlePath(const HostDefaults& defaults,
                                             const std::string& porticoRoot,
                                             const std::string& appSupport) {
    std::optional<std::string> generic;
    const char* env = std::getenv("PT_MANAGED_BOTTLE_PATH");
    if (env != nullptr) {
        generic = env;
    } else if (defaults.IsList("ManagedBottleDirs")) {
        std::string joined;
        for (const auto& dir : defaults.GetList("ManagedBottleDirs"))
            joined += (joined.empty() ? "" : ":") + dir;
        if (!joined.empty()) generic = joined;
    } else if (auto text = defaults.GetString("ManagedBottleDirs"); text && !text->empty()) {
        generic = *text;
    }
    if (porticoRoot.empty()) return generic;

    namespace fs = std::filesystem;
    std::error_code ec;
    fs::create_directories(appSupport, ec);
    fs::path link = fs::path(appSupport) / "BuiltinBottles";
    auto status = fs::symlink_status(link, ec);
    if (!fs::exists(status) || fs::is_symlink(status)) {
        fs::remove(link, ec);
        fs::create_directory_symlink(fs::path(porticoRoot) / "support", link, ec);
        if (ec)
            HY_LOG(LL_Warning, kCategory, "PTServerOEM::managedBottlePath", "cannot link %s: %s",
                   link.c_str(), ec.message().c_str());
    }
    std::string path = link.string();
    if (generic) path += ":" + *generic;
    return path;
}

void SetHostEnvironment(const HostDefaults& defaults, const std::string& porticoRoot,
                        const std::string& appSupport, const std::string& bundlePath) {
    const char* home = std::getenv("HOME");
    if (home == nullptr || !std::filesystem::is_directory(home)) {
        const char* userHome = g_get_home_dir();
        HY_LOG(LL_Status, kCategory, "PTServer::setEnvironmentVariables", "Setting HOME=%s\n",
               userHome);
        setenv("HOME", userHome, 1);
    }
    setenv("PT_BOTTLE_PATH",
           defaults.GetString("BottleDir").value_or(DefaultBottleDirectory()).c_str(), 1);
    if (auto managed = ManagedBottlePath(defaults, porticoRoot, appSupport))
        setenv("PT_MANAGED_BOTTLE_PATH", managed->c_str(), 1);
    setenv("PT_APP_BUNDLE_PATH", bundlePath.c_str(), 1);
}

void ApplyHttpProxy(const std::optional<std::string>& host, int port) {
    if (host && !host->empty())
        setenv("http_proxy", ("http://" + *host + ":" + std::to_string(port) + "/").c_str(), 1);
    else
        unsetenv("http_proxy");
}

std::vector<std::string> TaskEnvironment(const std::vector<std::string>& base,
                                         const TaskEnvironmentInputs& in) {
    std::vector<std::string> env = base;
    if (in.helperServerReady) {
        SetOrRemove(env, "PT_ROOT", &in.porticoRoot);
        SetOrRemove(env, "PYTHONPATH", nullptr);
    }
    if (!in.launchNotifySocket.empty())
        SetOrRemove(env, "PT_LAUNCH_NOTIFY_SOCKET", &in.launchNotifySocket);
    if (!in.disableWineIntegration && !in.loaderSocket.empty())
        SetOrRemove(env, "PT_WINEWRAPPER_ALT_LOADER_SOCKET", &in.loaderSocket);
    else
        SetOrRemove(env, "PT_WINEWRAPPER_ALT_LOADER_SOCKET", nullptr);
    return env;
}

std::vector<std::string> CurrentEnvironment() {
    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e) env.emplace_back(*e);
    return env;
}

}  // namespace larkhost

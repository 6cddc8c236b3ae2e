// The environment of the host process and of every task it launches.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "HostDefaults.h"

namespace larkhost {

// $XDG_DATA_HOME/Larkspur (~/.local/share/Larkspur): the host's application-support folder.
std::string ApplicationSupportDirectory();
// The default bottle folder: ApplicationSupportDirectory()/Bottles.
std::string DefaultBottleDirectory();

// The managed bottle path: "PT_MANAGED_BOTTLE_PATH" when set, else the "ManagedBottleDirs"
// default (a list joined with colons; an empty one gives none). With a `porticoRoot`, the
// built-in bottles come first: the link "BuiltinBottles" in `appSupport` is made to point at
// `porticoRoot`/support (an entry there that is not a link is left alone) and its path leads the
// answer, followed by a colon and the value above when there is one.
std::optional<std::string> ManagedBottlePath(const HostDefaults& defaults,
                                             const std::string& porticoRoot,
                                             const std::string& appSupport);

// Sets HOME (kept when it names an existing folder; otherwise the user's home, logged as
// "Setting HOME=..."), PT_BOTTLE_PATH, PT_MANAGED_BOTTLE_PATH and PT_APP_BUNDLE_PATH.
void SetHostEnvironment(const HostDefaults& defaults, const std::string& porticoRoot,
                        const std::string& appSupport, const std::string& bundlePath);

// Sets or removes "http_proxy" for the system's HTTP proxy: "http://host:port/" while one is
// configured with a host, removed otherwise.
void ApplyHttpProxy(const std::optional<std::string>& host, int port);

struct TaskEnvironmentInputs {
    std::string porticoRoot;
    bool helperServerReady = false;
    std::string launchNotifySocket;  // empty: no feedback for this launch
    std::string loaderSocket;        // empty: no alternate loader
    bool disableWineIntegration = false;
};

// The environment of a launched task: `base` plus PT_ROOT (and without PYTHONPATH) once the
// helper server is ready, PT_LAUNCH_NOTIFY_SOCKET when the launch has feedback, and
// PT_WINEWRAPPER_ALT_LOADER_SOCKET unless the integration is disabled or there is no socket.
std::vector<std::string> TaskEnvironment(const std::vector<std::string>& base,
                                         const TaskEnvironmentInputs& in);

// The process environment as name=value strings.
std::vector<std::string> CurrentEnvironment();

}  // namespace larkhost

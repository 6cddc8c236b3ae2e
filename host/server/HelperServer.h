// The helper server: a Unix socket of the host, named "com.tessaline.larkspur.HelperServer" in
// the user's runtime folder, through which the Windows side's scripts ask the host questions.
// One request line, one answer line:
//   "ready"               -> "yes" once the host has started up, else "no"
//   "ready <bottle>"      -> "yes" when ready and the bottle exists and can run commands
//   "raise <tag>"         -> "ok" (the host's windows come to the front)
//   "environment"         -> the environment a new task gets, NUL-separated, then a new line
//   "open-url\t<bottle>\t<url>", "open-doc\t<bottle>\t<path>"
//                         -> "ok": a second larkhost hands its URL or document over (the two
//                            fields C-escaped, so tabs, new lines and any byte travel intact)
// Anything else gets "error".
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

typedef struct _GSocketService GSocketService;

namespace larkhost {

class BottleCollection;

struct HelperServerHooks {
    std::function<bool()> ready;
    BottleCollection* bottles = nullptr;
    std::function<void(const std::string& tag)> raise;
    std::function<std::vector<std::string>()> environment;
    // A URL (`document` false) or document forwarded by another larkhost; empty `bottle`: none.
    std::function<void(bool document, const std::string& bottle, const std::string& text)> open;
};

// A URL or document to hand to a running host.
struct ForwardedItem {
    bool document = false;
    std::string bottle;
    std::string text;
};

// The request line that carries `item`.
std::string ForwardRequest(const ForwardedItem& item);
// Hands `items`, in order, to the host listening at `directory`/HelperServer::kName (the runtime
// folder when empty). Answers how many it took: 0 when no host answers there (none is running,
// or a stale socket file is left); fewer than all when that host went away meanwhile.
size_t ForwardToRunningHost(const std::vector<ForwardedItem>& items,
                            const std::string& directory = "");

class HelperServer {
  public:
    static constexpr const char* kName = "com.tessaline.larkspur.HelperServer";

    // Listens at `directory`/kName (the runtime folder when empty). Null after logging "Failed to
    // register our helper server.  What do we do now?" when it cannot.
    static std::unique_ptr<HelperServer> Start(HelperServerHooks hooks,
                                               const std::string& directory = "");
    ~HelperServer();

    const std::string& Path() const { return m_path; }
    // The bottles answer "ready <bottle>" once the setup library is up (main thread).
    void SetBottles(BottleCollection* bottles) { m_hooks.bottles = bottles; }
    // The answer to one request line (on the main thread).
    std::string Answer(const std::string& request);

  private:
    HelperServer() = default;
    HelperServerHooks m_hooks;
    std::string m_path;
    GSocketService* m_service = nullptr;
};

}  // namespace larkhost

// The patch role of the development server: answers MSG_LATEST_FILE_LIST_V2 over the session
// protocol with the list a patch repository (larkpublish's Repository.h) announces. A locale the
// repository does not serve is answered with the locale "ERROR1" and nothing else. The repository
// is read again whenever its repository.txt changes, so a publish takes effect without a restart.
// A request that does not decode, or is not a list request, closes that connection only; so does
// a request while the repository cannot be read (logged).
//
// Runs on the thread that made it; the message modules must be loaded first.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "MessageSession.h"
#include "Repository.h"
#include "SessionServer.h"

inline constexpr const char* kUnsupportedLocale = "ERROR1";

class PatchServer {
  public:
    // `urlBase` is how launchers reach the repository over HTTP ("http://127.0.0.1:8080"): the
    // URL prefix of the reply, and the list's URL is formed below it. `urlSuffix` is sent as is.
    PatchServer(std::string repository, std::string urlBase, std::string urlSuffix = {});
    ~PatchServer();
    PatchServer(const PatchServer&) = delete;
    PatchServer& operator=(const PatchServer&) = delete;

    // Loads "BaseMessages", "ExtendedBaseMessages" and "PatchMessages".
    static bool LoadMessageModules(const std::string& dataDirectory);

    // Reads the repository now; false with the reason when it cannot be served.
    bool LoadRepository(std::string& error);
    const larkpublish::RepositoryInfo& Repository() const { return m_info; }

    // 0, or -1 when the address cannot be listened on.
    int Listen(const HYInetAddress& address);
    uint16_t Port() const { return m_server.LocalAddress().Port(); }
    void Stop() { m_server.Stop(); }
    size_t SessionCount() const { return m_server.SessionCount(); }

    uint64_t RequestsReceived() const { return m_requests.load(); }
    uint64_t MalformedRequests() const { return m_malformed.load(); }

  private:
    // Handles one application message; false when the connection is to be closed.
    bool OnMessage(ServerSession& session, const uint8_t* data, uint32_t length);
    // Reads the repository again when repository.txt changed since the last read.
    bool Refresh(std::string& error);

    std::string m_repository;
    std::string m_urlBase;
    std::string m_urlSuffix;
    larkpublish::RepositoryInfo m_info;
    uint32_t m_listSize = 0;
    uint32_t m_listCrc = 0;
    int64_t m_loadedStamp = -1;  // last-write time of repository.txt when it was read
    int64_t m_loadedLength = -1;
    std::atomic<uint64_t> m_requests{0};
    std::atomic<uint64_t> m_malformed{0};
    SessionServer m_server;
};

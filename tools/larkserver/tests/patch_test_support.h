// Helpers of the patch-role tests: a small build published into a temporary repository, a client
// session that asks for the latest file list, and raw HTTP requests over one loopback connection.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "ClientSession.h"
#include "DMLRecord.h"
#include "Publisher.h"
#include "TempDir.h"

namespace patchtest {

// Loads the modules of both roles from the source tree's data folder.
void LoadModules();

// A build of a plain file, a gzip-type file and a WAD archive, published into `dir`/repo.
struct PublishedRepository {
    explicit PublishedRepository(const std::string& locale = "English");
    // Publishes the build again (after changing it through `build`).
    larkpublish::PublishResult Publish();
    const larkpublish::PublishedFile& File(const std::string& target) const;
    std::string Path(const std::string& relative) const { return repo + "/" + relative; }

    hytest::TempDir dir;
    std::string repo;
    std::map<std::string, std::string> build;  // path -> content
    larkpublish::PublishOptions options;
    larkpublish::PublishResult result;
};

// Asks for the latest file list once the session is established and keeps the reply.
class ListClient : public ClientSession {
  public:
    ListClient(std::string locale, uint32_t attempt = 1)
        : m_locale(std::move(locale)), m_attempt(attempt) {}
    // Connects to 127.0.0.1:port and waits for the reply (or the closed connection).
    bool Ask(uint16_t port);
    // Sends these bytes as the request instead of a list request.
    std::string rawRequest;

    std::unique_ptr<DMLRecord> reply;
    bool closed = false;

  protected:
    void AppSessionEstablished() override;
    bool AppProcessMessage(const MsgBufferRef& buffer) override;
    void AppCloseConnection() override { closed = true; }

  private:
    std::string m_locale;
    uint32_t m_attempt;
};

// One loopback TCP connection for hand-written HTTP requests.
class RawHttp {
  public:
    explicit RawHttp(uint16_t port);
    ~RawHttp();
    bool IsOpen() const { return m_fd >= 0; }
    // Sends `request` and reads one response (status line, headers and a body of Content-Length
    // bytes); answers the status code, or -1.
    int Exchange(const std::string& request, std::string* body = nullptr,
                 std::string* headers = nullptr);

  private:
    int m_fd = -1;
    std::string m_pending;
};

}  // namespace patchtest

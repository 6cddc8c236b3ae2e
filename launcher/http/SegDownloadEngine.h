// The range layer: one connection per request to the URL's host, with a GET request handle that
// is sent again for every byte range wanted, each time with a new "Range" header. The WAD engines
// build on it; on its own it downloads one segment of a file (download type 2): the request's
// header size is the segment length, its tag the segment offset and its header CRC the segment's
// CRC.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "HttpEngine.h"

struct ParsedUrl {
    std::string host;
    std::string path;
    uint16_t port = 80;
};

// Splits an "http://host[:port]/path" URL; false when it is not one.
bool ParseUrl(const std::string& url, ParsedUrl& out);

class SegDownloadEngine : public HttpEngine {
public:
    explicit SegDownloadEngine(EngineHost& host) : HttpEngine(host) {}
    ~SegDownloadEngine() override;

    // Requests the bytes `first` to `last`, both included: 0 sent, 1 failed. A failed send is
    // tried once more on a new connection.
    int SendHttpGetRange(uint32_t first, uint32_t last);
    // Sends the request with `header` added (replacing any "Range" header): 0 sent, 1 failed.
    int SendHttpRequest(const std::string& header);
    // Closes the request handle, the engine's file and the connection, each when open.
    void CloseHandles();
    void Close() override { CloseHandles(); }

    const std::string& Host() const { return m_hostName; }
    uint16_t Port() const { return m_port; }
    const std::string& Path() const { return m_path; }

protected:
    // The network part of opening: a new connection and an unsent GET request for the URL.
    int OpenUrl();
    int Open() override;
    int Transfer(bool& done) override;
    // Checks that the response answers a range starting at `first`: status 206 and a matching
    // Content-Range. A server that ignores ranges would otherwise have its whole file taken for
    // the range.
    bool ResponseMatchesRange(uint32_t first, uint32_t length) const;

    std::unique_ptr<HY_OS::HttpConnection> m_connection;
    std::unique_ptr<HY_OS::HttpRequest> m_hHTTPFile;
    std::string m_hostName;
    uint16_t m_port = 80;
    std::string m_path;

private:
    uint32_t m_segmentRemaining = 0;
    uint32_t m_segmentCrc = 0;
    int64_t m_segmentPosition = 0;
};

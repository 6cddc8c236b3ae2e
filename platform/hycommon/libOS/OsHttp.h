// The HTTP layer of the platform seam: the few steps the download engines take, each blocking on
// the calling thread. An internet handle carries the agent name and time-outs; a URL is opened
// with a GET that bypasses caches; the response's length, type, status and raw headers can be
// queried; the body is read up to N bytes at a time. A connection to one host and port hands out
// GET requests that can be sent again and again with a replaced "Range" header, reusing the same
// keep-alive connection. Proxies come from the environment (http_proxy, no_proxy) on Linux and
// from the system's configured settings on Windows.
// One download rate limit holds for all transfers of the process together (libcurl applies each
// transfer's share; WinINet, which has no receive-rate option, has its reads paced here).
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

namespace HY_OS {

// Error codes of the HTTP layer. The numbers are those of the internet library the launcher was
// first written against, so that logged codes keep their meaning across platforms.
enum HttpError : uint32_t {
    HTTP_OK = 0,
    HTTP_ERROR_OUT_OF_HANDLES = 12001,
    HTTP_ERROR_TIMEOUT = 12002,
    HTTP_ERROR_INVALID_URL = 12005,
    HTTP_ERROR_NAME_NOT_RESOLVED = 12007,
    HTTP_ERROR_OPERATION_CANCELLED = 12017,
    HTTP_ERROR_INCORRECT_HANDLE_STATE = 12019,
    HTTP_ERROR_CANNOT_CONNECT = 12029,
    HTTP_ERROR_CONNECTION_ABORTED = 12030,
    HTTP_ERROR_INVALID_SERVER_RESPONSE = 12152,
};

// The three kinds of failure the engines tell apart.
enum HttpErrorClass {
    HEC_None = 0,
    HEC_HostNotResolved = 1,
    HEC_RequestFailed = 2,
    HEC_ReadFailed = 3,
};
HttpErrorClass ClassifyHttpError(uint32_t error);

// The download rate limit of the whole process, in kilobytes (1024 bytes) per second; 0 means
// none. Concurrent downloads together stay within it: with libcurl it is shared evenly by the
// transfers running at the moment (a change holds exactly for transfers started afterwards;
// running ones take their new share too, but only on average, as they read in the larger
// blocks they started with); on Windows every read is booked against one budget of the whole
// process, which takes a change at the next read. Thread-safe. The initial value comes from the
// environment variable
// "LARK_MAX_DOWNLOAD_KBPS".
void SetDownloadRateLimit(uint32_t kilobytesPerSecond);
uint32_t DownloadRateLimit();

// What "LARK_MAX_DOWNLOAD_KBPS" held when it was first read.
struct RateLimitSetting {
    bool present = false;    // the variable is set
    bool valid = false;      // ...to a strict decimal number that fits 32 bits
    uint32_t kilobytesPerSecond = 0;
    std::string text;        // the value as found
};
// Reads the variable now. A set but invalid value is not applied; the caller reports it.
RateLimitSetting ReadRateLimitEnvironment();
// The reading that set the initial limit.
const RateLimitSetting& InitialRateLimitSetting();
// Strict decimal: digits only, no sign or blank, at most 4294967295.
bool ParseKilobytesPerSecond(const std::string& text, uint32_t& kilobytesPerSecond);

// The proxy that requests opened with access type 0 use for http URLs: the first non-empty of
// http_proxy, HTTP_PROXY, all_proxy and ALL_PROXY; empty when none. Hosts named in no_proxy
// (or NO_PROXY) are still reached directly.
std::string EnvironmentHttpProxy();
// The proxy address fit for a log: any "user:password@" removed.
std::string ProxyWithoutCredentials(const std::string& proxy);

// The internet handle: agent name and time-outs shared by every request made through it.
class HttpInternet {
public:
    // Access type 0 takes the system's proxy settings (the environment's on Linux); any other
    // value connects directly. Answers nothing only when the HTTP library cannot be initialised.
    static std::shared_ptr<HttpInternet> Open(const std::string& agent, uint32_t accessType);

    const std::string& Agent() const { return m_agent; }
    bool UsesEnvironmentProxy() const { return m_environmentProxy; }
    // A request fails when no byte arrives for this long.
    void SetReceiveTimeoutMs(uint32_t ms);
    // Making the connection and sending the request must succeed within this time.
    void SetSendTimeoutMs(uint32_t ms);
    uint32_t ReceiveTimeoutMs() const { return m_receiveTimeoutMs.load(); }
    uint32_t SendTimeoutMs() const { return m_sendTimeoutMs.load(); }

    HttpInternet(std::string agent, bool environmentProxy)
        : m_agent(std::move(agent)), m_environmentProxy(environmentProxy) {}

    // The platform's own session handle behind this object, where its HTTP library has one
    // (Windows: the internet handle every connection and request is opened from).
    struct Native;
    Native* NativeHandle() const { return m_native.get(); }

private:
    std::string m_agent;
    bool m_environmentProxy;
    std::shared_ptr<Native> m_native;
    std::atomic<uint32_t> m_receiveTimeoutMs{60000};
    std::atomic<uint32_t> m_sendTimeoutMs{60000};
};

class HttpConnection;

// One HTTP request and its response. Not thread-safe: one thread drives it, except for the
// abort flag, which another thread may raise to end a blocking call early.
class HttpRequest {
public:
    ~HttpRequest();
    HttpRequest(const HttpRequest&) = delete;
    HttpRequest& operator=(const HttpRequest&) = delete;

    // Opens `url` (http only): sends a GET without caching, following redirects, and waits for
    // the response headers. Nothing, with `error` set, when that fails.
    static std::unique_ptr<HttpRequest> OpenUrl(const std::shared_ptr<HttpInternet>& internet,
                                                const std::string& url, uint32_t& error);

    // Adds a request header "Name: value" (a trailing CRLF is allowed), replacing any header of
    // the same name. False for a malformed header.
    bool AddHeader(const std::string& header);
    // Sends the request with its current headers (again, when it was sent before: any unread
    // rest of the previous response is dropped) and waits for the response headers.
    bool Send(uint32_t& error);

    // Content-Length of the response; false when the server sent none.
    bool ContentLength(int64_t& length) const;
    // Content-Type of the response (without parameters); false when there is none.
    bool ContentType(std::string& type) const;
    // The HTTP status code, 0 before a response.
    int Status() const;
    // The response's status line and header lines as received, CRLF-separated.
    const std::string& RawHeaders() const { return m_rawHeaders; }
    // The address of the server the response came from; empty before a connection.
    std::string PrimaryIp() const;

    // Reads body bytes into `data` until `size` bytes are read or the body ends. Answers the
    // count (0 at the end of the body) or -1 with `error` set when the transfer failed before
    // any byte of this call arrived.
    int64_t Read(void* data, size_t size, uint32_t& error);
    // True when the whole body has arrived and been read.
    bool BodyComplete() const;

    // While `*flag` is true every blocking call ends with HTTP_ERROR_OPERATION_CANCELLED.
    void SetAbortFlag(const std::atomic<bool>* flag) { m_abort = flag; }

    struct Impl;

private:
    friend class HttpConnection;
    explicit HttpRequest(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> m_impl;
    std::string m_rawHeaders;
    const std::atomic<bool>* m_abort = nullptr;

    bool WaitForHeaders(uint32_t& error);
    bool PumpOnce(uint32_t& error);
};

// A connection to one host and port. Requests opened on it share its keep-alive connection.
class HttpConnection {
public:
    ~HttpConnection();
    HttpConnection(const HttpConnection&) = delete;
    HttpConnection& operator=(const HttpConnection&) = delete;

    // Nothing is sent or resolved yet; the host is looked up by the first request sent.
    static std::unique_ptr<HttpConnection> Connect(const std::shared_ptr<HttpInternet>& internet,
                                                   const std::string& host, uint16_t port,
                                                   uint32_t& error);
    // A request of `verb` for `path` (beginning with '/'); not sent until Send.
    std::unique_ptr<HttpRequest> OpenRequest(const std::string& verb, const std::string& path,
                                             uint32_t& error);

    const std::string& Host() const { return m_host; }
    uint16_t Port() const { return m_port; }

    struct Shared;

private:
    HttpConnection(std::shared_ptr<HttpInternet> internet, std::string host, uint16_t port);
    std::shared_ptr<HttpInternet> m_internet;
    std::string m_host;
    uint16_t m_port;
    std::shared_ptr<Shared> m_shared;
};

}  // namespace HY_OS

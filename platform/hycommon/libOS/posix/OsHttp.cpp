#include "OsHttp.h"

#include <curl/curl.h>

#include <algorithm>
#include <cstring>
#include <strings.h>
#include <mutex>
#include <vector>

#include "OsHttpChecks.h"
#include "OsHttpRate.h"
#include "OsSysCalls.h"

namespace HY_OS {

namespace {

// Received bytes that no Read has asked for yet are kept up to this amount; beyond it the
// transfer is paused, so a fast server cannot grow memory without bound.
constexpr size_t kMaxBufferedBytes = 1 << 20;
// The library's receive buffer; larger than its default so a fast transfer takes few callbacks.
constexpr long kReceiveBufferBytes = 512 * 1024;
// Under a rate limit the library reads whatever the socket holds, up to a hundred buffers,
// between two of its waits; the buffer is made small enough (1/200 of the transfer's share, at
// least the library's minimum) for such a burst to stay near half a second's worth.
constexpr long kMinLimitedBufferBytes = 1024;
// Longest single wait for socket activity; bounds how late an abort or a time-out is noticed.
constexpr int kPollSliceMs = 100;
constexpr long kMaxRedirects = 10;

void InitialiseCurlOnce() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

uint32_t MapCurlError(CURLcode code) {
    switch (code) {
        case CURLE_OK:
            return HTTP_OK;
        case CURLE_COULDNT_RESOLVE_HOST:
        case CURLE_COULDNT_RESOLVE_PROXY:
            return HTTP_ERROR_NAME_NOT_RESOLVED;
        case CURLE_COULDNT_CONNECT:
            return HTTP_ERROR_CANNOT_CONNECT;
        case CURLE_OPERATION_TIMEDOUT:
            return HTTP_ERROR_TIMEOUT;
        case CURLE_URL_MALFORMAT:
        case CURLE_UNSUPPORTED_PROTOCOL:
            return HTTP_ERROR_INVALID_URL;
        case CURLE_OUT_OF_MEMORY:
            return HTTP_ERROR_OUT_OF_HANDLES;
        case CURLE_WEIRD_SERVER_REPLY:
        case CURLE_GOT_NOTHING:
        case CURLE_BAD_CONTENT_ENCODING:
            return HTTP_ERROR_INVALID_SERVER_RESPONSE;
        default:
            return HTTP_ERROR_CONNECTION_ABORTED;
    }
}

struct MultiHandle {
    CURLM* multi = nullptr;
    MultiHandle() : multi(curl_multi_init()) {}
    ~MultiHandle() {
        if (multi) curl_multi_cleanup(multi);
    }
};

}  // namespace

HttpErrorClass ClassifyHttpError(uint32_t error) {
    if (error == HTTP_OK) return HEC_None;
    if (error == HTTP_ERROR_NAME_NOT_RESOLVED) return HEC_HostNotResolved;
    return HEC_RequestFailed;
}

void HttpInternet::SetReceiveTimeoutMs(uint32_t ms) { m_receiveTimeoutMs.store(ms); }

void HttpInternet::SetSendTimeoutMs(uint32_t ms) { m_sendTimeoutMs.store(ms); }

std::shared_ptr<HttpInternet> HttpInternet::Open(const std::string& agent, uint32_t accessType) {
    InitialiseCurlOnce();
    return std::make_shared<HttpInternet>(agent, accessType == 0);
}

// The multi handle a connection's requests share: requests added to the same multi handle one
// after another reuse its cached keep-alive connection.
struct HttpConnection::Shared {
    MultiHandle multi;
};

struct HttpRequest::Impl {
    std::shared_ptr<HttpInternet> internet;
    std::shared_ptr<HttpConnection::Shared> shared;
    CURL* easy = nullptr;
    curl_slist* headerList = nullptr;
    std::vector<std::string> headers;
    bool followRedirects = false;
    bool added = false;
    // Counted among the running transfers that share the rate limit, and the generation of the
    // limit's share last applied.
    bool counted = false;
    uint64_t rateGeneration = 0;

    // Response state of the current send.
    int status = 0;
    bool headersComplete = false;
    bool hasLocation = false;
    bool bodySeen = false;
    bool done = false;
    CURLcode result = CURLE_OK;
    bool paused = false;
    std::string* rawHeaders = nullptr;

    // Body bytes: first into the caller's buffer of the running Read, the rest buffered.
    char* target = nullptr;
    size_t targetSize = 0;
    size_t targetFilled = 0;
    std::string buffered;
    size_t bufferedPos = 0;
    uint64_t lastActivityMs = 0;

    ~Impl() {
        StopCounting();
        if (easy) {
            if (added) curl_multi_remove_handle(shared->multi.multi, easy);
            curl_easy_cleanup(easy);
        }
        if (headerList) curl_slist_free_all(headerList);
    }

    void StartCounting() {
        if (counted) return;
        RateTransferStarted();
        counted = true;
        rateGeneration = RateGeneration() - 1;
        ApplyRateShare();
    }

    void StopCounting() {
        if (!counted) return;
        RateTransferEnded();
        counted = false;
    }

    // libcurl reads the receive limit at every step of a transfer, so setting it between steps
    // reaches the running transfer too.
    void ApplyRateShare() {
        uint64_t generation = RateGeneration();
        if (!counted || generation == rateGeneration) return;
        rateGeneration = generation;
        curl_easy_setopt(easy, CURLOPT_MAX_RECV_SPEED_LARGE,
                         static_cast<curl_off_t>(RateShareBytesPerSecond()));
    }

    size_t BufferedBytes() const { return buffered.size() - bufferedPos; }

    void Touch() { lastActivityMs = SysCalls().MonotonicMs(); }

    void ResetResponse() {
        status = 0;
        headersComplete = false;
        bodySeen = false;
        done = false;
        result = CURLE_OK;
        paused = false;
        buffered.clear();
        bufferedPos = 0;
        if (rawHeaders) rawHeaders->clear();
    }

    static size_t OnHeader(char* data, size_t size, size_t count, void* user) {
        auto* self = static_cast<Impl*>(user);
        size_t bytes = size * count;
        self->Touch();
        std::string line(data, bytes);
        if (line.compare(0, 5, "HTTP/") == 0) {
            // A new response (after an interim answer or a redirect) replaces the previous one.
            self->rawHeaders->clear();
            self->headersComplete = false;
            size_t space = line.find(' ');
            self->status = space == std::string::npos ? 0 : std::atoi(line.c_str() + space + 1);
            self->hasLocation = false;
        }
        if (strncasecmp(line.c_str(), "Location:", 9) == 0) self->hasLocation = true;
        self->rawHeaders->append(line);
        if (line == "\r\n" || line == "\n") {
            bool interim = self->status >= 100 && self->status < 200;
            bool redirected = self->followRedirects && self->status >= 300 && self->status < 400 &&
                              self->hasLocation;
            if (!interim && !redirected) self->headersComplete = true;
        }
        return bytes;
    }

    static size_t OnBody(char* data, size_t size, size_t count, void* user) {
        auto* self = static_cast<Impl*>(user);
        size_t bytes = size * count;
        self->Touch();
        self->bodySeen = true;
        size_t taken = 0;
        if (self->target && self->BufferedBytes() == 0) {
            taken = std::min(bytes, self->targetSize - self->targetFilled);
            std::memcpy(self->target + self->targetFilled, data, taken);
            self->targetFilled += taken;
        }
        if (taken == bytes) return bytes;
        if (taken == 0 && self->BufferedBytes() >= kMaxBufferedBytes) {
            self->paused = true;
            return CURL_WRITEFUNC_PAUSE;
        }
        if (self->bufferedPos > 0 && self->bufferedPos == self->buffered.size()) {
            self->buffered.clear();
            self->bufferedPos = 0;
        }
        self->buffered.append(data + taken, bytes - taken);
        return bytes;
    }

    bool Configure(const std::string& url) {
        easy = curl_easy_init();
        if (!easy) return false;
        curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
        curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http");
        curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "http");
        curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, followRedirects ? 1L : 0L);
        curl_easy_setopt(easy, CURLOPT_MAXREDIRS, kMaxRedirects);
        curl_easy_setopt(easy, CURLOPT_USERAGENT, internet->Agent().c_str());
        curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(easy, CURLOPT_BUFFERSIZE, kReceiveBufferBytes);
        curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS,
                         static_cast<long>(internet->SendTimeoutMs()));
        curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &Impl::OnHeader);
        curl_easy_setopt(easy, CURLOPT_HEADERDATA, this);
        curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &Impl::OnBody);
        curl_easy_setopt(easy, CURLOPT_WRITEDATA, this);
        // No cache anywhere between us and the file: always the server's current copy.
        headers = {"Cache-Control: no-cache", "Pragma: no-cache"};
        if (!internet->UsesEnvironmentProxy()) {
            curl_easy_setopt(easy, CURLOPT_NOPROXY, "*");
        } else {
            // Set explicitly so that HTTP_PROXY counts as well as http_proxy; libcurl still
            // reaches the hosts of no_proxy directly.
            std::string proxy = EnvironmentHttpProxy();
            if (!proxy.empty()) curl_easy_setopt(easy, CURLOPT_PROXY, proxy.c_str());
        }
        return true;
    }

    bool ApplyHeaders() {
        if (headerList) curl_slist_free_all(headerList);
        headerList = nullptr;
        for (const std::string& header : headers) {
            curl_slist* next = curl_slist_append(headerList, header.c_str());
            if (!next) return false;
            headerList = next;
        }
        curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headerList);
        return true;
    }

    bool Start(uint32_t& error) {
        if (added) {
            curl_multi_remove_handle(shared->multi.multi, easy);
            added = false;
        }
        ResetResponse();
        if (!ApplyHeaders()) {
            error = HTTP_ERROR_OUT_OF_HANDLES;
            return false;
        }
        // Only while the handle is out of a transfer may its buffer change size.
        uint64_t share = RateShareIncluding(counted ? 0 : 1);
        long buffer = kReceiveBufferBytes;
        if (share != 0) buffer = static_cast<long>(std::clamp<uint64_t>(share / 200, kMinLimitedBufferBytes, kReceiveBufferBytes));
        curl_easy_setopt(easy, CURLOPT_BUFFERSIZE, buffer);
        if (curl_multi_add_handle(shared->multi.multi, easy) != CURLM_OK) {
            error = HTTP_ERROR_OUT_OF_HANDLES;
            return false;
        }
        added = true;
        StartCounting();
        Touch();
        return true;
    }
};

HttpRequest::HttpRequest(std::unique_ptr<Impl> impl) : m_impl(std::move(impl)) {
    m_impl->rawHeaders = &m_rawHeaders;
}

HttpRequest::~HttpRequest() = default;

std::unique_ptr<HttpRequest> HttpRequest::OpenUrl(const std::shared_ptr<HttpInternet>& internet,
                                                  const std::string& url, uint32_t& error) {
    error = HTTP_OK;
    if (!internet) {
        error = HTTP_ERROR_INCORRECT_HANDLE_STATE;
        return nullptr;
    }
    if ((error = CheckHttpUrl(url)) != HTTP_OK) return nullptr;
    auto impl = std::make_unique<Impl>();
    impl->internet = internet;
    impl->shared = std::make_shared<HttpConnection::Shared>();
    impl->followRedirects = true;
    if (!impl->shared->multi.multi || !impl->Configure(url)) {
        error = HTTP_ERROR_OUT_OF_HANDLES;
        return nullptr;
    }
    std::unique_ptr<HttpRequest> request(new HttpRequest(std::move(impl)));
    if (!request->Send(error)) return nullptr;
    return request;
}

bool HttpRequest::AddHeader(const std::string& header) {
    std::string line = header;
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
    size_t colon = line.find(':');
    if (colon == std::string::npos || colon == 0 || line.find_first_of("\r\n") != std::string::npos)
        return false;
    auto sameName = [&](const std::string& other) {
        if (other.size() <= colon || other[colon] != ':') return false;
        return strncasecmp(other.c_str(), line.c_str(), colon) == 0;
    };
    for (std::string& existing : m_impl->headers) {
        if (sameName(existing)) {
            existing = line;
            return true;
        }
    }
    m_impl->headers.push_back(line);
    return true;
}

bool HttpRequest::Send(uint32_t& error) {
    error = HTTP_OK;
    if (!m_impl->Start(error)) return false;
    return WaitForHeaders(error);
}

bool HttpRequest::PumpOnce(uint32_t& error) {
    Impl& impl = *m_impl;
    if (m_abort && m_abort->load(std::memory_order_acquire)) {
        error = HTTP_ERROR_OPERATION_CANCELLED;
        return false;
    }
    CURLM* multi = impl.shared->multi.multi;
    int running = 0;
    if (curl_multi_perform(multi, &running) != CURLM_OK) {
        error = HTTP_ERROR_OUT_OF_HANDLES;
        return false;
    }
    int queued = 0;
    while (CURLMsg* message = curl_multi_info_read(multi, &queued)) {
        if (message->msg == CURLMSG_DONE && message->easy_handle == impl.easy) {
            impl.done = true;
            impl.result = message->data.result;
            impl.StopCounting();
        }
    }
    if (impl.done) return true;
    impl.ApplyRateShare();
    uint64_t now = SysCalls().MonotonicMs();
    uint32_t timeout = impl.headersComplete ? impl.internet->ReceiveTimeoutMs()
                                            : impl.internet->SendTimeoutMs() +
                                                  impl.internet->ReceiveTimeoutMs();
    if (!impl.paused && now - impl.lastActivityMs > timeout) {
        error = HTTP_ERROR_TIMEOUT;
        return false;
    }
    if (impl.target && impl.targetFilled == impl.targetSize) return true;
    if (impl.headersComplete && impl.target == nullptr) return true;
    curl_multi_poll(multi, nullptr, 0, kPollSliceMs, nullptr);
    return true;
}

bool HttpRequest::WaitForHeaders(uint32_t& error) {
    Impl& impl = *m_impl;
    while (!impl.headersComplete && !impl.bodySeen && !impl.done) {
        if (!PumpOnce(error)) return false;
    }
    if (impl.done && impl.result != CURLE_OK && !impl.headersComplete) {
        error = MapCurlError(impl.result);
        return false;
    }
    return true;
}

bool HttpRequest::ContentLength(int64_t& length) const {
    curl_off_t value = -1;
    if (curl_easy_getinfo(m_impl->easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &value) != CURLE_OK ||
        value < 0)
        return false;
    length = static_cast<int64_t>(value);
    return true;
}

bool HttpRequest::ContentType(std::string& type) const {
    char* value = nullptr;
    if (curl_easy_getinfo(m_impl->easy, CURLINFO_CONTENT_TYPE, &value) != CURLE_OK || !value)
        return false;
    type = value;
    size_t semicolon = type.find(';');
    if (semicolon != std::string::npos) type.resize(semicolon);
    while (!type.empty() && type.back() == ' ') type.pop_back();
    return true;
}

int HttpRequest::Status() const { return m_impl->status; }

std::string HttpRequest::PrimaryIp() const {
    char* ip = nullptr;
    if (curl_easy_getinfo(m_impl->easy, CURLINFO_PRIMARY_IP, &ip) != CURLE_OK || !ip) return {};
    return ip;
}

int64_t HttpRequest::Read(void* data, size_t size, uint32_t& error) {
    error = HTTP_OK;
    Impl& impl = *m_impl;
    if (!impl.added) {
        error = HTTP_ERROR_INCORRECT_HANDLE_STATE;
        return -1;
    }
    char* out = static_cast<char*>(data);
    size_t filled = 0;
    bool failed = false;
    while (filled < size) {
        size_t buffered = impl.BufferedBytes();
        if (buffered > 0) {
            size_t n = std::min(buffered, size - filled);
            std::memcpy(out + filled, impl.buffered.data() + impl.bufferedPos, n);
            impl.bufferedPos += n;
            filled += n;
            continue;
        }
        if (impl.paused) {
            impl.paused = false;
            impl.target = out;
            impl.targetSize = size;
            impl.targetFilled = filled;
            curl_easy_pause(impl.easy, CURLPAUSE_CONT);
            filled = impl.targetFilled;
            impl.target = nullptr;
            continue;
        }
        if (impl.done) break;
        impl.target = out;
        impl.targetSize = size;
        impl.targetFilled = filled;
        bool ok = PumpOnce(error);
        filled = impl.targetFilled;
        impl.target = nullptr;
        if (!ok) {
            failed = true;
            break;
        }
    }
    if (filled > 0) {
        error = HTTP_OK;
        return static_cast<int64_t>(filled);
    }
    if (failed) return -1;
    if (impl.done && impl.result != CURLE_OK) {
        error = MapCurlError(impl.result);
        return -1;
    }
    return 0;
}

bool HttpRequest::BodyComplete() const {
    return m_impl->done && m_impl->result == CURLE_OK && m_impl->BufferedBytes() == 0 &&
           !m_impl->paused;
}

HttpConnection::HttpConnection(std::shared_ptr<HttpInternet> internet, std::string host,
                               uint16_t port)
    : m_internet(std::move(internet)), m_host(std::move(host)), m_port(port),
      m_shared(std::make_shared<Shared>()) {}

HttpConnection::~HttpConnection() = default;

std::unique_ptr<HttpConnection> HttpConnection::Connect(
    const std::shared_ptr<HttpInternet>& internet, const std::string& host, uint16_t port,
    uint32_t& error) {
    error = HTTP_OK;
    if (!internet) {
        error = HTTP_ERROR_INCORRECT_HANDLE_STATE;
        return nullptr;
    }
    if ((error = CheckHttpHost(host, port)) != HTTP_OK) return nullptr;
    std::unique_ptr<HttpConnection> connection(new HttpConnection(internet, host, port));
    if (!connection->m_shared->multi.multi) {
        error = HTTP_ERROR_OUT_OF_HANDLES;
        return nullptr;
    }
    return connection;
}

std::unique_ptr<HttpRequest> HttpConnection::OpenRequest(const std::string& verb,
                                                         const std::string& path,
                                                         uint32_t& error) {
    error = HTTP_OK;
    if (verb != "GET" || path.empty() || path[0] != '/' ||
        path.find_first_of(" \r\n") != std::string::npos) {
        error = HTTP_ERROR_INVALID_URL;
        return nullptr;
    }
    auto impl = std::make_unique<HttpRequest::Impl>();
    impl->internet = m_internet;
    impl->shared = m_shared;
    std::string url = "http://" + m_host + ":" + std::to_string(m_port) + path;
    if (!impl->Configure(url)) {
        error = HTTP_ERROR_OUT_OF_HANDLES;
        return nullptr;
    }
    return std::unique_ptr<HttpRequest>(new HttpRequest(std::move(impl)));
}

}  // namespace HY_OS

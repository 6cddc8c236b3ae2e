// The HTTP layer over WinINet, in its blocking form: one internet handle per client, whole files
// through InternetOpenUrl, ranges through one InternetConnect connection whose GET request handle
// is re-sent with a replaced "Range" header. Error numbers are WinINet's own, which the seam's
// codes already are.
#include "OsHttp.h"

#include "OsHttpChecks.h"
#include "OsHttpRate.h"
#include "WinHandle.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <wininet.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace HY_OS {

namespace {

// Body bytes are asked of WinINet in slices of at most this size, so that an abort raised by
// another thread is seen between two slices even while a fast server keeps sending.
constexpr DWORD kReadSliceBytes = 32 * 1024;
// While a read waits out the rate limit it looks at the abort flag this often.
constexpr uint64_t kPaceSliceUs = 20 * 1000;

// The flags of a whole-file open: always from the server, nothing written to the cache, the
// connection kept, no authentication, a no-cache pragma.
constexpr DWORD kOpenUrlFlags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE |
                                INTERNET_FLAG_KEEP_CONNECTION | INTERNET_FLAG_NO_AUTH |
                                INTERNET_FLAG_PRAGMA_NOCACHE;
// The same for a range request, which also never shows a dialog.
constexpr DWORD kRangeRequestFlags = kOpenUrlFlags | INTERNET_FLAG_NO_UI;

// Waits until the process's download budget has paid for what was read (`until`, on the rate
// clock), in short slices so that an abort raised meanwhile ends the wait at once. False when
// the wait was aborted.
bool WaitForBudget(uint64_t until, const std::atomic<bool>* abort) {
    for (;;) {
        if (abort && abort->load(std::memory_order_acquire)) return false;
        uint64_t now = RateClockUs();
        if (until <= now) return true;
        uint64_t wait = std::min(until - now, kPaceSliceUs);
        Sleep(static_cast<DWORD>((wait + 999) / 1000));
    }
}

uint32_t LastError() {
    DWORD error = GetLastError();
    return error == 0 ? HTTP_ERROR_CONNECTION_ABORTED : static_cast<uint32_t>(error);
}

// The internet handle's time-outs on a connection or request handle as well: not every WinINet
// hands its session's time-outs down to the handles opened from it.
void ApplyTimeouts(HINTERNET handle, const HttpInternet& internet) {
    DWORD receive = internet.ReceiveTimeoutMs(), send = internet.SendTimeoutMs();
    InternetSetOptionA(handle, INTERNET_OPTION_RECEIVE_TIMEOUT, &receive, sizeof receive);
    InternetSetOptionA(handle, INTERNET_OPTION_SEND_TIMEOUT, &send, sizeof send);
}

// A text header of the current response; false when the response has none.
bool QueryText(HINTERNET request, DWORD info, std::string& text) {
    DWORD size = 0, index = 0;
    HttpQueryInfoA(request, info, nullptr, &size, &index);
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || size == 0) return false;
    std::string buffer(size + 1, '\0');
    index = 0;
    if (!HttpQueryInfoA(request, info, buffer.data(), &size, &index)) return false;
    buffer.resize(size);
    text = std::move(buffer);
    return true;
}

// The host part of an http address ("http://host[:port]/..."), empty when there is none.
std::string HostOfUrl(const std::string& url) {
    size_t start = url.find("://");
    if (start == std::string::npos) return {};
    start += 3;
    size_t end = url.find_first_of(":/?#", start);
    return url.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

// The first IPv4 address of `host` in dotted form; empty when it does not resolve.
std::string ResolveIpv4(const std::string& host) {
    if (host.empty()) return {};
    WSADATA data;
    if (WSAStartup(MAKEWORD(2, 2), &data) != 0) return {};
    std::string text;
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(host.c_str(), nullptr, &hints, &found) == 0 && found) {
        char buffer[INET_ADDRSTRLEN] = {};
        auto* address = reinterpret_cast<sockaddr_in*>(found->ai_addr);
        if (inet_ntop(AF_INET, &address->sin_addr, buffer, sizeof buffer)) text = buffer;
        freeaddrinfo(found);
    }
    WSACleanup();
    return text;
}

// True for a request header line "Name: value" without embedded line breaks.
bool WellFormedHeader(const std::string& line) {
    size_t colon = line.find(':');
    return colon != std::string::npos && colon != 0 &&
           line.find_first_of("\r\n") == std::string::npos;
}

}  // namespace

struct HttpInternet::Native {
    win::InternetHandle session;
};

HttpErrorClass ClassifyHttpError(uint32_t error) {
    if (error == HTTP_OK) return HEC_None;
    if (error == HTTP_ERROR_NAME_NOT_RESOLVED) return HEC_HostNotResolved;
    return HEC_RequestFailed;
}

std::shared_ptr<HttpInternet> HttpInternet::Open(const std::string& agent, uint32_t accessType) {
    DWORD type = accessType == 0 ? INTERNET_OPEN_TYPE_PRECONFIG : INTERNET_OPEN_TYPE_DIRECT;
    HINTERNET session = InternetOpenA(agent.c_str(), type, nullptr, nullptr, 0);
    if (!session) return nullptr;
    auto internet = std::make_shared<HttpInternet>(agent, accessType == 0);
    internet->m_native = std::make_shared<Native>();
    internet->m_native->session.Reset(session);
    // WinINet's own defaults until the owner sets its time-outs.
    internet->SetReceiveTimeoutMs(internet->ReceiveTimeoutMs());
    internet->SetSendTimeoutMs(internet->SendTimeoutMs());
    return internet;
}

void HttpInternet::SetReceiveTimeoutMs(uint32_t ms) {
    m_receiveTimeoutMs.store(ms);
    if (!m_native) return;
    DWORD value = ms;
    InternetSetOptionA(m_native->session.Get(), INTERNET_OPTION_RECEIVE_TIMEOUT, &value, sizeof value);
}

void HttpInternet::SetSendTimeoutMs(uint32_t ms) {
    m_sendTimeoutMs.store(ms);
    if (!m_native) return;
    DWORD value = ms;
    InternetSetOptionA(m_native->session.Get(), INTERNET_OPTION_SEND_TIMEOUT, &value, sizeof value);
}

// A connection handle, shared by the connection object and the requests opened on it: WinINet
// closes a parent's children with it, so it must outlive them.
struct HttpConnection::Shared {
    std::shared_ptr<HttpInternet> internet;
    win::InternetHandle connection;
};

struct HttpRequest::Impl {
    std::shared_ptr<HttpInternet> internet;
    std::shared_ptr<HttpConnection::Shared> connection;  // empty for a whole-file open
    win::InternetHandle request;
    bool sent = false;

    // The current response.
    int status = 0;
    int64_t contentLength = -1;  // -1: not announced
    int64_t bodyRead = 0;
    bool ended = false;          // the body has been read to its end
    uint32_t failure = HTTP_OK;  // a read failure not yet reported
    mutable bool ipKnown = false;
    mutable std::string ip;

    // Takes the status and headers of the response that just arrived.
    void TakeResponse(std::string& rawHeaders) {
        sent = true;
        status = 0;
        contentLength = -1;
        bodyRead = 0;
        ended = false;
        failure = HTTP_OK;
        ipKnown = false;
        DWORD code = 0, size = sizeof code, index = 0;
        if (HttpQueryInfoA(request.Get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &code,
                           &size, &index))
            status = static_cast<int>(code);
        std::string length;
        if (QueryText(request.Get(), HTTP_QUERY_CONTENT_LENGTH, length)) {
            char* end = nullptr;
            long long value = std::strtoll(length.c_str(), &end, 10);
            if (end != length.c_str() && value >= 0) contentLength = value;
        }
        rawHeaders.clear();
        QueryText(request.Get(), HTTP_QUERY_RAW_HEADERS_CRLF, rawHeaders);
    }
};

HttpRequest::HttpRequest(std::unique_ptr<Impl> impl) : m_impl(std::move(impl)) {}

HttpRequest::~HttpRequest() {
    // The request closes before the connection it was opened on.
    if (m_impl) m_impl->request.Close();
}

std::unique_ptr<HttpRequest> HttpRequest::OpenUrl(const std::shared_ptr<HttpInternet>& internet,
                                                  const std::string& url, uint32_t& error) {
    error = HTTP_OK;
    if (!internet || !internet->NativeHandle()) {
        error = HTTP_ERROR_INCORRECT_HANDLE_STATE;
        return nullptr;
    }
    // Plain http only, as on every platform: WinINet would also take https and ftp.
    if ((error = CheckHttpUrl(url)) != HTTP_OK) return nullptr;
    HINTERNET handle = InternetOpenUrlA(internet->NativeHandle()->session.Get(), url.c_str(),
                                        nullptr, 0, kOpenUrlFlags, 0);
    if (!handle) {
        error = LastError();
        return nullptr;
    }
    auto impl = std::make_unique<Impl>();
    impl->internet = internet;
    impl->request.Reset(handle);
    ApplyTimeouts(handle, *internet);
    std::unique_ptr<HttpRequest> request(new HttpRequest(std::move(impl)));
    request->m_impl->TakeResponse(request->m_rawHeaders);
    return request;
}

bool HttpRequest::AddHeader(const std::string& header) {
    std::string line = header;
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
    if (!WellFormedHeader(line)) return false;
    line += "\r\n";
    return HttpAddRequestHeadersA(m_impl->request.Get(), line.c_str(),
                                  static_cast<DWORD>(line.size()),
                                  HTTP_ADDREQ_FLAG_ADD | HTTP_ADDREQ_FLAG_REPLACE) != FALSE;
}

bool HttpRequest::Send(uint32_t& error) {
    error = HTTP_OK;
    if (m_abort && m_abort->load(std::memory_order_acquire)) {
        error = HTTP_ERROR_OPERATION_CANCELLED;
        return false;
    }
    if (!HttpSendRequestA(m_impl->request.Get(), nullptr, 0, nullptr, 0)) {
        error = LastError();
        m_impl->sent = false;
        return false;
    }
    m_impl->TakeResponse(m_rawHeaders);
    // A server that hangs up without a status line has not answered, whatever WinINet made of it.
    if (m_impl->status == 0) {
        m_impl->sent = false;
        error = HTTP_ERROR_INVALID_SERVER_RESPONSE;
        return false;
    }
    return true;
}

bool HttpRequest::ContentLength(int64_t& length) const {
    if (!m_impl->sent || m_impl->contentLength < 0) return false;
    length = m_impl->contentLength;
    return true;
}

bool HttpRequest::ContentType(std::string& type) const {
    if (!m_impl->sent || !QueryText(m_impl->request.Get(), HTTP_QUERY_CONTENT_TYPE, type))
        return false;
    size_t semicolon = type.find(';');
    if (semicolon != std::string::npos) type.resize(semicolon);
    while (!type.empty() && type.back() == ' ') type.pop_back();
    return true;
}

int HttpRequest::Status() const { return m_impl->status; }

std::string HttpRequest::PrimaryIp() const {
    Impl& impl = *m_impl;
    if (!impl.sent) return {};
    if (!impl.ipKnown) {
        // WinINet does not tell the peer's address; the final URL's host (after redirects) is
        // resolved the way the connection was.
        std::string url;
        DWORD size = 0;
        InternetQueryOptionA(impl.request.Get(), INTERNET_OPTION_URL, nullptr, &size);
        if (size > 0) {
            url.assign(size + 1, '\0');
            if (InternetQueryOptionA(impl.request.Get(), INTERNET_OPTION_URL, url.data(), &size))
                url.resize(std::strlen(url.c_str()));
            else
                url.clear();
        }
        impl.ip = ResolveIpv4(HostOfUrl(url));
        impl.ipKnown = true;
    }
    return impl.ip;
}

int64_t HttpRequest::Read(void* data, size_t size, uint32_t& error) {
    error = HTTP_OK;
    Impl& impl = *m_impl;
    if (!impl.sent) {
        error = HTTP_ERROR_INCORRECT_HANDLE_STATE;
        return -1;
    }
    if (impl.failure != HTTP_OK) {
        error = impl.failure;
        impl.failure = HTTP_OK;
        return -1;
    }
    char* out = static_cast<char*>(data);
    size_t filled = 0;
    while (filled < size && !impl.ended) {
        if (m_abort && m_abort->load(std::memory_order_acquire)) {
            impl.failure = HTTP_ERROR_OPERATION_CANCELLED;
            break;
        }
        // Waits for the next bytes to arrive and takes only those, so that each wait is one
        // wait for data, bounded by the receive time-out.
        DWORD available = 0;
        if (!InternetQueryDataAvailable(impl.request.Get(), &available, 0, 0)) {
            impl.failure = LastError();
            break;
        }
        DWORD want = static_cast<DWORD>(std::min<size_t>(size - filled, kReadSliceBytes));
        if (available > 0 && available < want) want = available;
        // Under a rate limit a read takes no more than a tenth of a second's worth, so the
        // pause that pays for it stays short and the pace even.
        uint64_t paced = RateSliceBytes();
        if (paced > 0 && paced < want) want = static_cast<DWORD>(paced);
        DWORD got = 0;
        if (!InternetReadFile(impl.request.Get(), out + filled, want, &got)) {
            impl.failure = LastError();
            break;
        }
        if (got == 0) {
            // WinINet ends the body quietly when the server closes early; the announced length
            // tells a complete body from a cut one.
            if (impl.contentLength >= 0 && impl.bodyRead < impl.contentLength)
                impl.failure = HTTP_ERROR_CONNECTION_ABORTED;
            else
                impl.ended = true;
            break;
        }
        filled += got;
        impl.bodyRead += got;
        // WinINet has no receive-rate option: the reader pays for what it took before taking
        // more, from one budget shared by every download of the process.
        uint64_t until = RateReserve(got);
        if (until != 0 && !WaitForBudget(until, m_abort)) {
            impl.failure = HTTP_ERROR_OPERATION_CANCELLED;
            break;
        }
    }
    if (filled > 0) return static_cast<int64_t>(filled);
    if (impl.failure != HTTP_OK) {
        error = impl.failure;
        impl.failure = HTTP_OK;
        return -1;
    }
    return 0;
}

bool HttpRequest::BodyComplete() const {
    return m_impl->sent && m_impl->ended && m_impl->failure == HTTP_OK;
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
    if (!internet || !internet->NativeHandle()) {
        error = HTTP_ERROR_INCORRECT_HANDLE_STATE;
        return nullptr;
    }
    if ((error = CheckHttpHost(host, port)) != HTTP_OK) return nullptr;
    // No user name or password: the files are public.
    HINTERNET handle = InternetConnectA(internet->NativeHandle()->session.Get(), host.c_str(), port,
                                        nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0);
    if (!handle) {
        error = LastError();
        return nullptr;
    }
    ApplyTimeouts(handle, *internet);
    std::unique_ptr<HttpConnection> connection(new HttpConnection(internet, host, port));
    connection->m_shared->internet = internet;
    connection->m_shared->connection.Reset(handle);
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
    HINTERNET handle = HttpOpenRequestA(m_shared->connection.Get(), verb.c_str(), path.c_str(),
                                        nullptr, nullptr, nullptr, kRangeRequestFlags, 0);
    if (!handle) {
        error = LastError();
        return nullptr;
    }
    ApplyTimeouts(handle, *m_internet);
    auto impl = std::make_unique<HttpRequest::Impl>();
    impl->internet = m_internet;
    impl->connection = m_shared;
    impl->request.Reset(handle);
    return std::unique_ptr<HttpRequest>(new HttpRequest(std::move(impl)));
}

}  // namespace HY_OS

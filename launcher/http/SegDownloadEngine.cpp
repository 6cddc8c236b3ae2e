#include "SegDownloadEngine.h"

#include <cstdio>
#include <cstdlib>
#include <strings.h>

#include "OsFile.h"
#include "Crc.h"
#include "LogMessage.h"

bool ParseUrl(const std::string& url, ParsedUrl& out) {
    static const std::string kScheme = "http://";
    if (url.size() < 8 || url.compare(0, kScheme.size(), kScheme) != 0) return false;
    std::string rest = url.substr(kScheme.size());
    size_t slash = rest.find('/');
    if (slash == std::string::npos) return false;
    std::string hostPart = rest.substr(0, slash);
    uint16_t port = 80;
    size_t colon = hostPart.find(':');
    if (colon != std::string::npos) {
        std::string digits = hostPart.substr(colon + 1);
        // Decimal digits up to the end of the host part; anything else reads as 0.
        unsigned long value = 0;
        bool valid = !digits.empty();
        for (char c : digits) {
            if (c < '0' || c > '9') {
                valid = false;
                break;
            }
            value = value * 10 + static_cast<unsigned long>(c - '0');
            if (value > 65535) {
                valid = false;
                break;
            }
        }
        if (!valid || value == 0) return false;
        port = static_cast<uint16_t>(value);
        hostPart.resize(colon);
    }
    std::string path = rest.substr(slash);
    if (hostPart.empty() || path.empty()) return false;
    out.host = hostPart;
    out.path = path;
    out.port = port;
    return true;
}

SegDownloadEngine::~SegDownloadEngine() = default;

void SegDownloadEngine::CloseHandles() {
    m_hHTTPFile.reset();
    m_file.Close();
    m_connection.reset();
}

int SegDownloadEngine::OpenUrl() {
    const char* fn = "WadDownloadEngine::OpenUrl";
    const FileRequest& request = *m_request;
    // The file stays open: a reopen in the middle of a download keeps what is written.
    m_hHTTPFile.reset();
    m_connection.reset();
    HY_LOG(LL_Status, kHttpFileCategory, fn, "WadDownloadEngine::OpenUrl (%s).", request.m_url.c_str());
    ParsedUrl parsed;
    if (!ParseUrl(request.m_url, parsed)) {
        HY_LOG(LL_Error, kHttpFileCategory, fn, "WadDownloadEngine: Failed to parse URL %s",
               request.m_url.c_str());
        return EC_RequestFailed;
    }
    m_hostName = parsed.host;
    m_port = parsed.port;
    m_path = parsed.path;
    uint32_t error = 0;
    m_connection = HY_OS::HttpConnection::Connect(m_host.Internet(), m_hostName, m_port, error);
    if (!m_connection) {
        HY_LOG(LL_Error, kHttpFileCategory, fn, "InternetConnect (%s:%u) failed. ErrorCode=%u",
               m_hostName.c_str(), static_cast<unsigned>(m_port), error);
        return error == HY_OS::HTTP_ERROR_NAME_NOT_RESOLVED ? EC_HostNotFound : EC_RequestFailed;
    }
    m_hHTTPFile = m_connection->OpenRequest("GET", m_path, error);
    if (!m_hHTTPFile) {
        HY_LOG(LL_Error, kHttpFileCategory, fn, "WadDownloadEngine: HTTP GET failed (%s)",
               request.m_url.c_str());
        CloseHandles();
        return EC_RequestFailed;
    }
    m_hHTTPFile->SetAbortFlag(m_host.AbortFlag());
    return EC_Ok;
}

int SegDownloadEngine::SendHttpRequest(const std::string& header) {
    const char* fn = "SegDownloadEngine::SendHttpRequest";
    if (!m_hHTTPFile || !m_hHTTPFile->AddHeader(header)) {
        HY_LOG(LL_Error, kHttpFileCategory, fn, "Failed to Add Request Headers (%s)",
               m_request->m_url.c_str());
        return 1;
    }
    uint32_t error = 0;
    if (!m_hHTTPFile->Send(error)) {
        HY_LOG(LL_Error, kHttpFileCategory, fn,
               "Failed to Send HTTP Request (%s) Retrying by reopening the connection. ErrorCode=%u",
               m_request->m_localPath.c_str(), error);
        return 1;
    }
    return 0;
}

int SegDownloadEngine::SendHttpGetRange(uint32_t first, uint32_t last) {
    if (!m_hHTTPFile) {
        HY_LOG(LL_Trace, kHttpFileCategory, "SegDownloadEngine::SendHttpGetRange",
               "SendHttpGetRange: Undefined m_hHTTPFile");
        return 1;
    }
    char header[100];
    std::snprintf(header, sizeof header, "Range: bytes=%u-%u\r\n", first, last);
    if (SendHttpRequest(header) == 0) return 0;
    // One more try on a new connection and request handle.
    if (OpenUrl() != EC_Ok) return 1;
    return SendHttpRequest(header);
}

bool SegDownloadEngine::ResponseMatchesRange(uint32_t first, uint32_t length) const {
    if (!m_hHTTPFile || m_hHTTPFile->Status() != 206) return false;
    const std::string& headers = m_hHTTPFile->RawHeaders();
    size_t at = 0;
    while ((at = headers.find('\n', at)) != std::string::npos) {
        ++at;
        if (strncasecmp(headers.c_str() + at, "Content-Range:", 14) != 0) continue;
        unsigned long long start = 0, end = 0;
        if (std::sscanf(headers.c_str() + at + 14, " bytes %llu-%llu", &start, &end) != 2) return false;
        return start == first && end + 1 - start == length;
    }
    return false;
}

int SegDownloadEngine::Open() {
    CloseHandles();
    int result = OpenUrl();
    if (result != EC_Ok) return result;
    const FileRequest& request = *m_request;
    int directoryError = CreateDirectoriesFor(request.m_localPath);
    int openError = directoryError;
    if (directoryError == 0)
        m_file = HY_OS::File::Open(request.m_localPath, HY_OS::FileMode::OpenOrCreate, &openError);
    if (!m_file.IsOpen()) {
        HY_LOG(LL_Error, kHttpFileCategory, "SegDownloadEngine::Open",
               "Error %u while opening file '%s'.", static_cast<unsigned>(openError),
               request.m_localPath.c_str());
        return ClassOfSystemError(openError);
    }
    m_segmentRemaining = 0;
    return EC_Ok;
}

int SegDownloadEngine::Transfer(bool& done) {
    const char* fn = "SegDownloadEngine::DownloadSegment";
    FileRequest& request = *m_request;
    done = false;
    uint32_t offset = request.m_tag;
    uint32_t length = request.m_headerSize;
    if (m_segmentRemaining == 0 && request.m_bytesDone == 0) {
        if (length == 0) {
            done = true;
            return EC_Ok;
        }
        if (static_cast<uint64_t>(offset) + length - 1 > UINT32_MAX) return EC_RequestFailed;
        if (SendHttpGetRange(offset, offset + length - 1) != 0) return EC_ReadFailed;
        if (!ResponseMatchesRange(offset, length)) {
            HY_LOG(LL_Error, kHttpFileCategory, fn, "Server did not answer the range request (%s)",
                   request.m_url.c_str());
            return EC_ReadFailed;
        }
        m_segmentRemaining = length;
        m_segmentCrc = 0;
        m_segmentPosition = offset;
        return EC_Ok;
    }
    size_t want = std::min<size_t>(m_segmentRemaining, kBlockSize);
    uint32_t error = 0;
    int64_t n = m_hHTTPFile->Read(Buffer(), want, error);
    if (n != static_cast<int64_t>(want)) {
        HY_LOG(LL_Error, kHttpFileCategory, fn,
               "InternetReadFile read 0 or incorrect bytes (%s, ExpectedSize:%u ActualRead:%u Remain:%u)",
               request.m_url.c_str(), static_cast<unsigned>(want),
               static_cast<unsigned>(n < 0 ? 0 : n), m_segmentRemaining);
        return EC_ReadFailed;
    }
    CountReceived(static_cast<uint64_t>(n));
    if (!m_file.WriteAt(Buffer(), want, m_segmentPosition)) {
        int writeError = HY_OS::LastSystemError();
        HY_LOG(LL_Error, kHttpFileCategory, fn, "Error %u writing download into the file (%s)",
               static_cast<unsigned>(writeError), request.m_localPath.c_str());
        return ClassOfSystemError(writeError);
    }
    m_segmentCrc = CrcUpdate(m_segmentCrc, Buffer(), want);
    m_segmentPosition += static_cast<int64_t>(want);
    m_segmentRemaining -= static_cast<uint32_t>(want);
    request.m_bytesDone += static_cast<uint32_t>(want);
    if (m_segmentRemaining > 0) return EC_Ok;
    request.m_actualCrc = m_segmentCrc;
    if (request.m_headerCrc != 0 && m_segmentCrc != request.m_headerCrc) {
        HY_LOG(LL_Error, kHttpFileCategory, fn,
               "Downloaded segment's CRC not matching the original's (%s, Expected CRC: 0x%08x, Actual CRC: 0x%08x)",
               request.m_localPath.c_str(), request.m_headerCrc, m_segmentCrc);
        return EC_Mismatch;
    }
    int64_t written = HY_OS::LastWriteTimeMs(request.m_localPath);
    if (written > 0) request.m_lastWriteTime = static_cast<uint64_t>(written);
    done = true;
    return EC_Ok;
}

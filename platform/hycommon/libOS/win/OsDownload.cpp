#include "WinHandle.h"

#include <wininet.h>

#include <cstdlib>

#include "OsDownload.h"
#include "OsFile.h"
#include "OsHost.h"

namespace HY_OS {

namespace {

// A connection must be made, and each read must bring data, within these times, so a silent
// server cannot hold start-up forever.
constexpr DWORD kConnectTimeoutMs = 15000;
constexpr DWORD kReceiveTimeoutMs = 30000;

}  // namespace

DownloadResult DownloadUrlToFile(const std::string& url, const std::string& path,
                                 long* httpStatus, int64_t maxBytes) {
    if (httpStatus) *httpStatus = 0;
    if (!IsHttpUrl(url)) return DR_BadUrl;

    // The system's configured proxy settings, as every other request of the launcher.
    win::InternetHandle session(InternetOpenA("LarkLauncher", INTERNET_OPEN_TYPE_PRECONFIG, nullptr,
                                         nullptr, 0));
    if (session.Get() == nullptr) return DR_Transfer;
    DWORD connectTimeout = kConnectTimeoutMs, receiveTimeout = kReceiveTimeoutMs;
    InternetSetOptionA(session.Get(), INTERNET_OPTION_CONNECT_TIMEOUT, &connectTimeout, sizeof connectTimeout);
    InternetSetOptionA(session.Get(), INTERNET_OPTION_SEND_TIMEOUT, &receiveTimeout, sizeof receiveTimeout);
    InternetSetOptionA(session.Get(), INTERNET_OPTION_RECEIVE_TIMEOUT, &receiveTimeout, sizeof receiveTimeout);

    // WinINet follows redirects between http and https addresses only; a redirect elsewhere
    // (a file: address, say) is left as the 3xx answer and fails below.
    DWORD flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_PRAGMA_NOCACHE |
                  INTERNET_FLAG_NO_UI | INTERNET_FLAG_NO_COOKIES;
    win::InternetHandle request(InternetOpenUrlA(session.Get(), url.c_str(), nullptr, 0, flags, 0));
    if (request.Get() == nullptr) return DR_Transfer;

    DWORD status = 0, size = sizeof status, index = 0;
    if (!HttpQueryInfoA(request.Get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status,
                        &size, &index)) {
        return DR_Transfer;
    }
    if (httpStatus) *httpStatus = static_cast<long>(status);
    if (status >= 300) return status >= 400 ? DR_HttpStatus : DR_Transfer;

    std::string temp = path + ".download" + std::to_string(GetProcessId());
    File file = File::Open(temp, FileMode::CreateWrite);
    if (!file.IsOpen()) return DR_File;

    DownloadResult result = DR_Ok;
    int64_t written = 0;
    char block[16384];
    for (;;) {
        DWORD n = 0;
        if (!InternetReadFile(request.Get(), block, sizeof block, &n)) {
            result = DR_Transfer;
            break;
        }
        if (n == 0) break;
        if (maxBytes >= 0 && written + n > maxBytes) {
            result = DR_TooLarge;
            break;
        }
        if (!file.Write(block, n)) {
            result = DR_File;
            break;
        }
        written += n;
    }
    // A connection that closes early ends the reads as if the body were complete; the announced
    // length tells the two apart.
    char lengthText[32] = {};
    DWORD lengthSize = sizeof lengthText - 1;
    index = 0;
    if (result == DR_Ok &&
        HttpQueryInfoA(request.Get(), HTTP_QUERY_CONTENT_LENGTH, lengthText, &lengthSize, &index) &&
        std::strtoll(lengthText, nullptr, 10) != written) {
        result = DR_Transfer;
    }
    if (result == DR_Ok && !file.Sync()) result = DR_File;
    file.Close();
    if (result == DR_Ok && !RenameFile(temp, path)) result = DR_File;
    if (result != DR_Ok) DeleteFile(temp);
    return result;
}

}  // namespace HY_OS

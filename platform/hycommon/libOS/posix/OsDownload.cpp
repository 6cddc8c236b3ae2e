#include "OsDownload.h"

#include <curl/curl.h>
#include <unistd.h>

#include <mutex>

#include "OsFile.h"

namespace HY_OS {

namespace {

// A connection must be made within this time, and a transfer that moves less than one byte per
// second for the stall time is given up, so a silent server cannot hold start-up forever.
constexpr long kConnectTimeoutSeconds = 15;
constexpr long kStallSeconds = 30;
constexpr long kMaxRedirects = 10;

void InitialiseCurlOnce() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

struct WriteTarget {
    File* file;
    int64_t maxBytes;
    int64_t written = 0;
    bool failed = false;
    bool tooLarge = false;
};

size_t WriteBody(char* data, size_t size, size_t count, void* user) {
    auto* target = static_cast<WriteTarget*>(user);
    size_t bytes = size * count;
    if (target->maxBytes >= 0 && target->written + static_cast<int64_t>(bytes) > target->maxBytes) {
        target->tooLarge = true;
        return 0;  // makes curl stop with a write error
    }
    if (!target->file->Write(data, bytes)) {
        target->failed = true;
        return 0;
    }
    target->written += static_cast<int64_t>(bytes);
    return bytes;
}

struct CurlHandle {
    CURL* curl = curl_easy_init();
    ~CurlHandle() {
        if (curl) curl_easy_cleanup(curl);
    }
};

}  // namespace

DownloadResult DownloadUrlToFile(const std::string& url, const std::string& path,
                                 long* httpStatus, int64_t maxBytes) {
    if (httpStatus) *httpStatus = 0;
    if (!IsHttpUrl(url)) return DR_BadUrl;
    InitialiseCurlOnce();

    CurlHandle handle;
    if (handle.curl == nullptr) return DR_Transfer;

    std::string temp = path + ".download" + std::to_string(::getpid());
    File file = File::Open(temp, FileMode::CreateWrite);
    if (!file.IsOpen()) return DR_File;
    WriteTarget target{&file, maxBytes};

    CURL* curl = handle.curl;
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(curl, CURLOPT_MAXREDIRS, kMaxRedirects);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, kConnectTimeoutSeconds);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, kStallSeconds);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, WriteBody);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &target);

    CURLcode code = curl_easy_perform(curl);
    long status = 0;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
    if (httpStatus) *httpStatus = status;

    DownloadResult result = DR_Ok;
    if (target.tooLarge) {
        result = DR_TooLarge;
    } else if (target.failed) {
        result = DR_File;
    } else if (code != CURLE_OK) {
        result = DR_Transfer;
    } else if (status >= 400) {
        result = DR_HttpStatus;
    } else if (!file.Sync()) {
        result = DR_File;
    }
    file.Close();
    if (result == DR_Ok && !RenameFile(temp, path)) result = DR_File;
    if (result != DR_Ok) DeleteFile(temp);
    return result;
}

}  // namespace HY_OS

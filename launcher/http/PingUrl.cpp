#include "HYHttpFileClient.h"

#include "OsHttp.h"

int PingUrl(const std::string& url) {
    auto internet = HY_OS::HttpInternet::Open("Halcyra Patcher", 0);
    if (!internet) return 1;
    internet->SetReceiveTimeoutMs(5000);
    internet->SetSendTimeoutMs(5000);
    uint32_t error = 0;
    auto request = HY_OS::HttpRequest::OpenUrl(internet, url, error);
    if (!request) return 1;
    // The answer is not wanted; closing the request discards it.
    return 0;
}

// The argument checks, the download rate limit and the environment's proxy, the same on every
// platform.
#include <algorithm>
#include <atomic>
#include <chrono>

#include "OsEnv.h"
#include "OsHttp.h"
#include "OsHttpChecks.h"
#include "OsHttpRate.h"

namespace HY_OS {

uint32_t CheckHttpUrl(const std::string& url) {
    if (url.compare(0, 7, "http://") != 0 || url.size() == 7) return HTTP_ERROR_INVALID_URL;
    return HTTP_OK;
}

uint32_t CheckHttpHost(const std::string& host, uint16_t port) {
    if (host.empty() || port == 0 || host.find_first_of("/@ \t\r\n") != std::string::npos)
        return HTTP_ERROR_INVALID_URL;
    return HTTP_OK;
}

namespace {

constexpr const char* kRateVariable = "LARK_MAX_DOWNLOAD_KBPS";

// The limit, the running transfers and the generation that tells transfers to look again.
struct RateState {
    RateLimitSetting initial = ReadRateLimitEnvironment();
    std::atomic<uint32_t> kilobytesPerSecond{initial.valid ? initial.kilobytesPerSecond : 0};
    std::atomic<uint32_t> running{0};
    std::atomic<uint64_t> generation{0};
    // The moment (RateClockUs) until which the bytes booked so far are paid for.
    std::atomic<uint64_t> paidUntilUs{0};
};

RateState& Rate() {
    static RateState state;
    return state;
}

}  // namespace

bool ParseKilobytesPerSecond(const std::string& text, uint32_t& kilobytesPerSecond) {
    if (text.empty() || text.size() > 10) return false;
    uint64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + static_cast<uint64_t>(c - '0');
    }
    if (value > UINT32_MAX) return false;
    kilobytesPerSecond = static_cast<uint32_t>(value);
    return true;
}

RateLimitSetting ReadRateLimitEnvironment() {
    RateLimitSetting setting;
    setting.present = GetEnv(kRateVariable, setting.text);
    if (setting.present) setting.valid = ParseKilobytesPerSecond(setting.text, setting.kilobytesPerSecond);
    return setting;
}

const RateLimitSetting& InitialRateLimitSetting() { return Rate().initial; }

void SetDownloadRateLimit(uint32_t kilobytesPerSecond) {
    RateState& rate = Rate();
    rate.kilobytesPerSecond.store(kilobytesPerSecond);
    rate.generation.fetch_add(1);
}

uint32_t DownloadRateLimit() { return Rate().kilobytesPerSecond.load(); }

void RateTransferStarted() {
    RateState& rate = Rate();
    rate.running.fetch_add(1);
    rate.generation.fetch_add(1);
}

void RateTransferEnded() {
    RateState& rate = Rate();
    rate.running.fetch_sub(1);
    rate.generation.fetch_add(1);
}

uint64_t RateGeneration() { return Rate().generation.load(); }

uint64_t RateShareBytesPerSecond() { return RateShareIncluding(0); }

uint64_t RateShareIncluding(uint32_t more) {
    RateState& rate = Rate();
    uint64_t total = uint64_t{rate.kilobytesPerSecond.load()} * 1024;
    if (total == 0) return 0;
    uint64_t running = uint64_t{rate.running.load()} + more;
    uint64_t share = total / (running == 0 ? 1 : running);
    return share == 0 ? 1 : share;
}

uint64_t RateClockUs() {
    return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::microseconds>(
                                     std::chrono::steady_clock::now().time_since_epoch())
                                     .count());
}

uint64_t RateReserve(uint64_t bytes) {
    RateState& rate = Rate();
    uint64_t bytesPerSecond = uint64_t{rate.kilobytesPerSecond.load()} * 1024;
    if (bytesPerSecond == 0) return 0;
    // Rounded up, so that many small reads cannot slip through at no cost.
    uint64_t costUs = (bytes * 1000000 + bytesPerSecond - 1) / bytesPerSecond;
    uint64_t now = RateClockUs();
    uint64_t paid = rate.paidUntilUs.load();
    uint64_t until = 0;
    do {
        // Time nobody used is not saved up: the schedule restarts from now.
        until = std::max(paid, now) + costUs;
    } while (!rate.paidUntilUs.compare_exchange_weak(paid, until));
    return until;
}

uint64_t RateSliceBytes() {
    uint64_t bytesPerSecond = uint64_t{Rate().kilobytesPerSecond.load()} * 1024;
    if (bytesPerSecond == 0) return 0;
    return std::max<uint64_t>(bytesPerSecond / 10, 1);
}

std::string EnvironmentHttpProxy() {
    for (const char* name : {"http_proxy", "HTTP_PROXY", "all_proxy", "ALL_PROXY"}) {
        std::string value;
        if (GetEnv(name, value) && !value.empty()) return value;
    }
    return {};
}

std::string ProxyWithoutCredentials(const std::string& proxy) {
    // The credentials sit between the scheme (if any) and the last '@' before the path.
    size_t start = proxy.find("://");
    start = start == std::string::npos ? 0 : start + 3;
    size_t end = proxy.find('/', start);
    size_t at = proxy.rfind('@', end == std::string::npos ? std::string::npos : end);
    if (at == std::string::npos || at < start) return proxy;
    return proxy.substr(0, start) + proxy.substr(at + 1);
}

}  // namespace HY_OS

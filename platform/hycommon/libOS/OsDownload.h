// Synchronous download of one URL into a file, for the few places that need a whole file before
// going on (the fail-safe update check).
#pragma once

#include <cstdint>
#include <string>

namespace HY_OS {

enum DownloadResult {
    DR_Ok = 0,
    DR_BadUrl = 1,        // not an http:// or https:// address
    DR_Transfer = 2,      // no connection, no answer, a broken transfer or a timeout
    DR_HttpStatus = 3,    // the server answered with a status of 400 or above
    DR_File = 4,          // the file could not be written
    DR_TooLarge = 5,      // the body was longer than the caller allows
};

// True for an address that begins with "http://" or "https://" (any letter case) and has more.
bool IsHttpUrl(const std::string& url);

// Fetches `url` (following redirects) and stores the body as the file `path`. The body is written
// to a temporary file beside `path` and renamed over it only when the transfer is complete, so a
// failure never leaves a partial file at `path`. Only http and https are fetched, redirects
// included, so an address taken from a downloaded file cannot read local files. The proxy is the
// environment's (http_proxy, https_proxy, no_proxy). A body longer than `maxBytes` (when that is
// not negative) is refused. Answers DR_Ok or the kind of failure; with `httpStatus` given it
// receives the last HTTP status (0 when there was none).
DownloadResult DownloadUrlToFile(const std::string& url, const std::string& path,
                                 long* httpStatus = nullptr, int64_t maxBytes = -1);

}  // namespace HY_OS

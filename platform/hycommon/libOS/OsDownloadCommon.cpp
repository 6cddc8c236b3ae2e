// The address rule of the URL-to-file download, the same on every platform.
#include "OsDownload.h"

namespace HY_OS {

bool IsHttpUrl(const std::string& url) {
    auto startsWith = [&](const char* prefix) {
        size_t n = std::char_traits<char>::length(prefix);
        if (url.size() <= n) return false;
        for (size_t i = 0; i < n; ++i) {
            char c = url[i];
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
            if (c != prefix[i]) return false;
        }
        return true;
    };
    return startsWith("http://") || startsWith("https://");
}

}  // namespace HY_OS

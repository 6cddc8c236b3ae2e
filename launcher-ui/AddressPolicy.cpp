#include "AddressPolicy.h"

#include <glib.h>
#include <limits.h>
#include <stdlib.h>

#include <algorithm>
#include <memory>

namespace LarkUi {

namespace {

struct GFreeDeleter {
    void operator()(void* p) const { g_free(p); }
};
using GString_ = std::unique_ptr<char, GFreeDeleter>;

std::string RealPath(const std::string& path) {
    char resolved[PATH_MAX];
    return ::realpath(path.c_str(), resolved) ? std::string(resolved) : std::string();
}

// The file: address of `path` when it resolves to a file inside `webRoot`.
std::string AdmitLocalFile(std::string path, const std::string& webRoot) {
    std::replace(path.begin(), path.end(), '\\', '/');
    std::string root = RealPath(webRoot);
    std::string file = RealPath(path);
    if (root.empty() || file.empty() || file.compare(0, root.size() + 1, root + "/") != 0)
        return {};
    GString_ uri(g_filename_to_uri(file.c_str(), nullptr, nullptr));
    return uri ? std::string(uri.get()) : std::string();
}

}  // namespace

std::string AdmitAddress(const std::string& address, const std::string& webRoot) {
    if (address.empty() || address.find_first_of("\r\n\t") != std::string::npos) return {};
    if (address[0] == '/' || address[0] == '\\') return AdmitLocalFile(address, webRoot);
    GString_ scheme(g_uri_parse_scheme(address.c_str()));
    if (!scheme) return {};
    std::string name(scheme.get());
    std::transform(name.begin(), name.end(), name.begin(), ::tolower);
    if (name == "file") {
        GString_ path(g_filename_from_uri(address.c_str(), nullptr, nullptr));
        return path ? AdmitLocalFile(path.get(), webRoot) : std::string();
    }
    if (name != "http" && name != "https" && name != kResourceScheme) return {};
    GUri* uri = g_uri_parse(address.c_str(), G_URI_FLAGS_NONE, nullptr);
    if (uri == nullptr) return {};
    bool hasHost = g_uri_get_host(uri) != nullptr && *g_uri_get_host(uri) != '\0';
    g_uri_unref(uri);
    return hasHost ? address : std::string();
}

}  // namespace LarkUi

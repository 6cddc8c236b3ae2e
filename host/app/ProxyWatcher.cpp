#include "ProxyWatcher.h"

#include <gio/gio.h>
#include <optional>
#include <string>

#include "HostEnvironment.h"

namespace larkhost {
namespace {

GSettings* g_proxy = nullptr;
GSettings* g_http = nullptr;

void Apply() {
    gchar* mode = g_settings_get_string(g_proxy, "mode");
    gchar* host = g_settings_get_string(g_http, "host");
    int port = g_settings_get_int(g_http, "port");
    bool manual = mode != nullptr && g_strcmp0(mode, "manual") == 0;
    ApplyHttpProxy(manual && host != nullptr && *host != '\0' ? std::optional<std::string>(host)
                                                              : std::nullopt,
                   port);
    g_free(mode);
    g_free(host);
}

}  // namespace

bool WatchSystemProxy() {
    GSettingsSchemaSource* source = g_settings_schema_source_get_default();
    GSettingsSchema* schema =
        source != nullptr ? g_settings_schema_source_lookup(source, "org.gnome.system.proxy", TRUE)
                          : nullptr;
    if (schema == nullptr) return false;
    g_settings_schema_unref(schema);
    if (g_proxy == nullptr) {
        g_proxy = g_settings_new("org.gnome.system.proxy");
        g_http = g_settings_get_child(g_proxy, "http");
        auto changed = +[](GSettings*, gchar*, gpointer) { Apply(); };
        g_signal_connect(g_proxy, "changed", G_CALLBACK(changed), nullptr);
        g_signal_connect(g_http, "changed", G_CALLBACK(changed), nullptr);
    }
    Apply();
    return true;
}

}  // namespace larkhost

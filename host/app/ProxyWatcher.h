// Keeps "http_proxy" in step with the desktop's proxy settings (GSettings
// org.gnome.system.proxy) when the desktop has them; otherwise the environment stays as it is.
#pragma once

namespace larkhost {

// Applies the current setting and watches for changes; false when the desktop has no such
// settings.
bool WatchSystemProxy();

}  // namespace larkhost

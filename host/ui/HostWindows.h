// The host's windows: alerts, the launch splash, the first-run splash and the menus, in GTK 3
// when a display is available and on standard error otherwise.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "PTServer.h"

typedef struct _GtkApplication GtkApplication;

namespace larkhost {

// Opens the host's windows for `application` (GTK) or, with none, reports on standard error.
// `quit` ends the application's main loop; `recentChanged` rebuilds the recent-documents menu.
std::unique_ptr<HostUi> MakeHostUi(GtkApplication* application, const std::string& appName,
                                   std::function<void()> quit,
                                   std::function<void()> recentChanged = {});

}  // namespace larkhost

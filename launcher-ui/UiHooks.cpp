#include "UiHooks.h"

#include <glib.h>

namespace LarkUi {

UiHooks& Hooks() {
    static UiHooks hooks;
    return hooks;
}

bool OpenWithSystemBrowser(const char* address) {
    // GLib starts the program found on the PATH and reaps it when it ends.
    char* argv[] = {const_cast<char*>("xdg-open"), const_cast<char*>(address), nullptr};
    GError* error = nullptr;
    gboolean started = g_spawn_async(nullptr, argv, nullptr, G_SPAWN_SEARCH_PATH, nullptr, nullptr,
                                     nullptr, &error);
    if (error) g_error_free(error);
    return started;
}

}  // namespace LarkUi

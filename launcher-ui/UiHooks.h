// Seams of the window library that a test host replaces: how an address is opened in the system's
// default browser, and how long a page may take to load before it counts as failed.
#pragma once

namespace LarkUi {

// Opens `address` with the system's default handler; answers false when that failed.
using UrlOpener = bool (*)(const char* address, void* context);

struct UiHooks {
    UrlOpener openUrl = nullptr;  // null: "xdg-open"
    void* openUrlContext = nullptr;
    int pageTimeoutMs = 0;  // 0: the default of 60 seconds
};

UiHooks& Hooks();

// Starts "xdg-open <address>" without waiting; false when it could not be started.
bool OpenWithSystemBrowser(const char* address);

}  // namespace LarkUi

// Exported by the library (Exports.cpp) for test hosts, looked up by name: replaces the hooks;
// null restores the defaults.
extern "C" void LarkUiSetHooks(const LarkUi::UiHooks* hooks);

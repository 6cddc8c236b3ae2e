// CBrowser: the embedded web view of the launcher window. It loads the addresses the navigator
// hands it (refusing those the address policy does not admit) and turns the web view's events
// into the navigator's: page loaded, link about to be followed, new window, page failed. A page
// that answers with an HTTP error, or that has not finished loading within the page time-out,
// counts as failed.
#pragma once

#include <webkit2/webkit2.h>

#include <string>
#include <utility>
#include <vector>

#include "Navigator.h"

namespace LarkUi {

// Failure codes reported for navigations that did not reach the server's answer (the web
// browser control's codes, as the launcher's logs know them); HTTP errors report their status.
enum NavigateErrorCode : int {
    NE_InvalidUrl = static_cast<int>(0x800C0002),
    NE_CannotConnect = static_cast<int>(0x800C0004),
    NE_ResourceNotFound = static_cast<int>(0x800C0005),
    NE_DownloadFailure = static_cast<int>(0x800C0008),
    NE_Timeout = static_cast<int>(0x800C000B),
};

class Browser {
  public:
    // `webRoot`: the folder whose pages may be shown by path or "file:" address.
    explicit Browser(std::string webRoot);
    ~Browser();
    Browser(const Browser&) = delete;
    Browser& operator=(const Browser&) = delete;

    // The navigator that receives the web view's events.
    void SetNavigator(Navigator* navigator) { m_navigator = navigator; }
    GtkWidget* Widget() const { return GTK_WIDGET(m_view); }
    void Navigate(const std::string& address);
    void Refresh();
    // The address of the page shown or being loaded.
    std::string Address() const;

  private:
    static gboolean OnDecidePolicy(WebKitWebView*, WebKitPolicyDecision*, WebKitPolicyDecisionType,
                                   gpointer);
    static void OnLoadChanged(WebKitWebView*, WebKitLoadEvent, gpointer);
    static gboolean OnLoadFailed(WebKitWebView*, WebKitLoadEvent, gchar* uri, GError*, gpointer);
    static GtkWidget* OnCreate(WebKitWebView*, WebKitNavigationAction*, gpointer);
    static gboolean OnTimeout(gpointer);
    static gboolean OnFailuresLater(gpointer);
    void QueueFailure(const std::string& address, int code);
    void ReportFailure(const std::string& address, int code);
    void StopTimer();

    Navigator* m_navigator = nullptr;
    std::string m_webRoot;
    WebKitWebView* m_view;
    guint m_timer = 0;
    bool m_failureReported = false;      // the running load's failure has been reported already
    bool m_failedLoadFinishing = false;  // a failure was signalled; its "finished" comes next
    std::string m_requested;             // the address last handed to the web view
    guint m_failureId = 0;
    std::vector<std::pair<std::string, int>> m_failures;  // waiting for the loop
};

// Serves the library's own pages under "res:" (registered once per process).
void RegisterResourceScheme(WebKitWebContext* context);

}  // namespace LarkUi

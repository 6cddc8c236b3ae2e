// How addresses reach the embedded web view: at once or after the running navigation, what
// happens when a page has loaded or failed, "patcher:" links that fill the login fields, and new
// windows that go to the system's default browser.
#pragma once

#include <string>

#include "CommandSink.h"

namespace LarkUi {

// The window's side of navigation: the web view, the loading label and the login fields.
class NavigationHost {
  public:
    virtual ~NavigationHost() = default;
    virtual bool BrowserExists() const = 0;
    virtual void Navigate(const std::string& address) = 0;
    virtual void Refresh() = 0;
    // Shows the web view and hides the "Loading..." label.
    virtual void ShowBrowser() = 0;
    virtual void FillLoginFields(const std::u16string& account, const std::u16string& password) = 0;
    // Opens `address` with the system's default handler; false when that failed.
    virtual bool OpenExternally(const std::string& address) = 0;
};

class Navigator {
  public:
    Navigator(NavigationHost& host, CommandSink& commands) : m_host(host), m_commands(commands) {}

    void GotoPage(const std::string& address, bool immediate);
    void OnDocumentComplete(const std::string& address);
    // Answers true when the navigation is to be cancelled.
    bool OnBeforeNavigate(const std::string& address);
    // Answers true when the web view is not to open the window itself.
    bool OnNewWindow(const std::string& address);
    void OnNavigateError(const std::string& address, int statusCode);

    // The Login action starts the failure chain again.
    void ResetFallback() { m_fallbackTried = false; }
    // A start without an EULA never sends "BrowseStatic".
    void SetStaticTried() { m_staticTried = true; }

    const std::string& PendingUrl() const { return m_pendingUrl; }
    const std::string& CurrentUrl() const { return m_currentUrl; }
    bool Navigating() const { return m_navigating; }
    bool BrowserHeld() const { return m_browserHeld; }

  private:
    NavigationHost& m_host;
    CommandSink& m_commands;
    std::string m_pendingUrl;
    std::string m_currentUrl;
    bool m_navigating = false;
    bool m_browserHeld = false;
    bool m_fallbackTried = false;
    bool m_staticTried = false;
    bool m_staticErrorTried = false;
};

}  // namespace LarkUi

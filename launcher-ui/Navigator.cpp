#include "Navigator.h"

#include "TextConvert.h"

namespace LarkUi {

namespace {

std::string BeforeQuery(const std::string& address) { return address.substr(0, address.find('?')); }

}  // namespace

void Navigator::GotoPage(const std::string& address, bool immediate) {
    if ((!immediate && m_navigating) || !m_host.BrowserExists()) {
        m_commands.LogToLauncher("Status", "Setting next URL %s", address.c_str());
        m_pendingUrl = address;
        return;
    }
    if (immediate && address.empty()) {
        m_commands.LogToLauncher("Status", "No URL, error set!");
        m_browserHeld = true;
        m_navigating = false;
        return;
    }
    m_navigating = true;
    m_commands.LogToLauncher("Status", "CPatchClientUIDlg::GotoPage() Navigate(%s)",
                             address.c_str());
    m_currentUrl = address;
    m_host.Navigate(address);
}

void Navigator::OnDocumentComplete(const std::string& address) {
    m_commands.LogToLauncher("Status", "Web page %s document has completed loading",
                             address.c_str());
    if (!m_browserHeld) m_host.ShowBrowser();
    if (!m_pendingUrl.empty()) {
        m_navigating = true;
        m_commands.LogToLauncher("Status", "CPatchClientUIDlg::OnDocumentComplete() Navigate(%s)",
                                 m_pendingUrl.c_str());
        // The waiting address becomes current before the web view is asked, so a failure that
        // the web view reports at once is matched against it.
        m_currentUrl = m_pendingUrl;
        m_pendingUrl.clear();
        m_host.Navigate(m_currentUrl);
        return;
    }
    std::string loaded = BeforeQuery(address);
    std::string current = BeforeQuery(m_currentUrl);
    if (loaded != current && (loaded.find("autologin") != std::string::npos ||
                              current.find("autologin") != std::string::npos)) {
        m_commands.LogToLauncher(
            "Status", "CPatchClientUIDlg::OnDocumentComplete() Refreshing, mismatch %s != %s",
            loaded.c_str(), current.c_str());
        m_host.Refresh();
    }
    m_navigating = false;
}

bool Navigator::OnBeforeNavigate(const std::string& address) {
    m_commands.LogToLauncher("Status", "New web page is being loaded into browser control: %s.",
                             address.c_str());
    if (address.find("patcher:") == std::string::npos) return false;
    std::u16string text = AnsiToUtf16(address);
    size_t colon = text.find(u':');
    std::u16string rest = colon == std::u16string::npos ? std::u16string() : text.substr(colon + 1);
    if (rest.find(u"LoginComplete") != std::u16string::npos) {
        size_t at = rest.find(u'@');
        std::u16string fields = at == std::u16string::npos ? rest : rest.substr(at + 1);
        size_t comma = fields.find(u',');
        if (comma == std::u16string::npos) {
            m_host.FillLoginFields(fields, fields);
        } else {
            m_host.FillLoginFields(fields.substr(0, comma), fields.substr(comma + 1));
        }
    }
    return true;
}

bool Navigator::OnNewWindow(const std::string& address) { return m_host.OpenExternally(address); }

void Navigator::OnNavigateError(const std::string& address, int statusCode) {
    m_commands.LogToLauncher("Status", "The navigation to web page %s has failed with code %d.",
                             address.c_str(), statusCode);
    if (!m_fallbackTried) {
        m_fallbackTried = true;
        m_commands.Send("BrowseFallBack");
    } else if (!m_staticTried) {
        m_commands.Send("BrowseStatic");
        m_staticTried = true;
    } else if (!m_staticErrorTried) {
        m_staticErrorTried = m_commands.Send("BrowseStaticError");
    } else if (address.find("firewall") == std::string::npos) {
        m_commands.Send("BrowseFirewall");
    }
}

}  // namespace LarkUi

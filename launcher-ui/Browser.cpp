#include "Browser.h"

#include <cstring>

#include "AddressPolicy.h"
#include "CommandSink.h"
#include "FontFiles.h"
#include "OsFile.h"
#include "UiHooks.h"

namespace LarkUi {

namespace {

constexpr int kDefaultPageTimeoutMs = 60000;

int PageTimeoutMs() {
    return Hooks().pageTimeoutMs > 0 ? Hooks().pageTimeoutMs : kDefaultPageTimeoutMs;
}

int CodeOfError(const GError* error) {
    if (error->domain == WEBKIT_NETWORK_ERROR) {
        if (error->code == WEBKIT_NETWORK_ERROR_FILE_DOES_NOT_EXIST) return NE_ResourceNotFound;
        if (error->code == WEBKIT_NETWORK_ERROR_UNKNOWN_PROTOCOL) return NE_InvalidUrl;
        return NE_CannotConnect;
    }
    if (error->domain == WEBKIT_POLICY_ERROR) return NE_InvalidUrl;
    return NE_DownloadFailure;
}

// The library's own pages: a name of the "resources" folder beside the library, letter case
// ignored, nothing else.
void ServeResource(WebKitURISchemeRequest* request, gpointer) {
    std::string path = webkit_uri_scheme_request_get_path(request)
                           ? webkit_uri_scheme_request_get_path(request)
                           : "";
    std::string name =
        path.substr(path.find_last_of('/') == std::string::npos ? 0 : path.find_last_of('/') + 1);
    for (char& c : name) c = static_cast<char>(::tolower(static_cast<unsigned char>(c)));
    const char* type = name == "localnews.htm"   ? "text/html"
                       : name == "parchment.jpg" ? "image/jpeg"
                                                 : nullptr;
    std::string bytes;
    if (type == nullptr ||
        !HY_OS::ReadWholeFile(
            HY_OS::JoinPath(HY_OS::JoinPath(LibraryDirectory(), "resources"), name), bytes)) {
        GError* error = g_error_new(WEBKIT_NETWORK_ERROR, WEBKIT_NETWORK_ERROR_FILE_DOES_NOT_EXIST,
                                    "No such resource: %s", name.c_str());
        webkit_uri_scheme_request_finish_error(request, error);
        g_error_free(error);
        return;
    }
    GBytes* data = g_bytes_new(bytes.data(), bytes.size());
    GInputStream* stream = g_memory_input_stream_new_from_bytes(data);
    webkit_uri_scheme_request_finish(request, stream, static_cast<gint64>(bytes.size()), type);
    g_object_unref(stream);
    g_bytes_unref(data);
}

}  // namespace

void RegisterResourceScheme(WebKitWebContext* context) {
    static bool registered = false;
    if (registered) return;
    registered = true;
    webkit_web_context_register_uri_scheme(context, kResourceScheme, &ServeResource, nullptr,
                                           nullptr);
}

Browser::Browser(std::string webRoot) : m_webRoot(std::move(webRoot)) {
    RegisterResourceScheme(webkit_web_context_get_default());
    m_view = WEBKIT_WEB_VIEW(webkit_web_view_new());
    g_object_ref_sink(m_view);
    g_signal_connect(m_view, "decide-policy", G_CALLBACK(&Browser::OnDecidePolicy), this);
    g_signal_connect(m_view, "load-changed", G_CALLBACK(&Browser::OnLoadChanged), this);
    g_signal_connect(m_view, "load-failed", G_CALLBACK(&Browser::OnLoadFailed), this);
    g_signal_connect(m_view, "create", G_CALLBACK(&Browser::OnCreate), this);
}

Browser::~Browser() {
    StopTimer();
    if (m_failureId) g_source_remove(m_failureId);
    g_signal_handlers_disconnect_by_data(m_view, this);
    g_object_unref(m_view);
}

void Browser::StopTimer() {
    if (m_timer) g_source_remove(m_timer);
    m_timer = 0;
}

std::string Browser::Address() const {
    const char* uri = webkit_web_view_get_uri(m_view);
    return uri ? uri : "";
}

void Browser::Navigate(const std::string& address) {
    std::string admitted = AdmitAddress(address, m_webRoot);
    if (admitted.empty()) {
        CommandSink::Instance().LogToLauncher("Error", "Refused to show the address %s",
                                              address.c_str());
        QueueFailure(address, NE_InvalidUrl);
        return;
    }
    m_requested = address;
    webkit_web_view_load_uri(m_view, admitted.c_str());
}

void Browser::QueueFailure(const std::string& address, int code) {
    // Failures reach the navigator from the loop, never from inside the web view's own signal:
    // the launcher answers them with new addresses, which the web view takes only from there.
    m_failures.emplace_back(address, code);
    if (m_failureId == 0) m_failureId = g_idle_add(&Browser::OnFailuresLater, this);
}

gboolean Browser::OnFailuresLater(gpointer self) {
    auto* browser = static_cast<Browser*>(self);
    browser->m_failureId = 0;
    std::vector<std::pair<std::string, int>> failures;
    failures.swap(browser->m_failures);
    for (const auto& [address, code] : failures)
        if (browser->m_navigator) browser->m_navigator->OnNavigateError(address, code);
    return G_SOURCE_REMOVE;
}

void Browser::Refresh() { webkit_web_view_reload(m_view); }

void Browser::ReportFailure(const std::string& address, int code) {
    StopTimer();
    if (m_failureReported) return;
    m_failureReported = true;
    QueueFailure(address, code);
}

gboolean Browser::OnDecidePolicy(WebKitWebView*, WebKitPolicyDecision* decision,
                                 WebKitPolicyDecisionType type, gpointer self) {
    auto* browser = static_cast<Browser*>(self);
    if (browser->m_navigator == nullptr) return FALSE;
    if (type == WEBKIT_POLICY_DECISION_TYPE_NAVIGATION_ACTION) {
        WebKitNavigationAction* action = webkit_navigation_policy_decision_get_navigation_action(
            WEBKIT_NAVIGATION_POLICY_DECISION(decision));
        std::string uri = webkit_uri_request_get_uri(webkit_navigation_action_get_request(action));
        if (browser->m_navigator->OnBeforeNavigate(uri)) {
            webkit_policy_decision_ignore(decision);
            return TRUE;
        }
        // Links inside pages obey the same rule as the launcher's own addresses.
        if (AdmitAddress(uri, browser->m_webRoot).empty() && uri != "about:blank") {
            CommandSink::Instance().LogToLauncher("Error", "Refused to show the address %s",
                                                  uri.c_str());
            webkit_policy_decision_ignore(decision);
            return TRUE;
        }
        return FALSE;
    }
    if (type == WEBKIT_POLICY_DECISION_TYPE_NEW_WINDOW_ACTION) {
        WebKitNavigationAction* action = webkit_navigation_policy_decision_get_navigation_action(
            WEBKIT_NAVIGATION_POLICY_DECISION(decision));
        std::string uri = webkit_uri_request_get_uri(webkit_navigation_action_get_request(action));
        if (browser->m_navigator->OnNewWindow(uri)) {
            webkit_policy_decision_ignore(decision);
        } else {
            webkit_policy_decision_use(decision);
        }
        return TRUE;
    }
    if (type == WEBKIT_POLICY_DECISION_TYPE_RESPONSE) {
        auto* response = WEBKIT_RESPONSE_POLICY_DECISION(decision);
        if (!webkit_response_policy_decision_is_main_frame_main_resource(response)) return FALSE;
        WebKitURIResponse* answer = webkit_response_policy_decision_get_response(response);
        guint status = webkit_uri_response_get_status_code(answer);
        if (status >= 400) {
            std::string uri = webkit_uri_response_get_uri(answer);
            webkit_policy_decision_ignore(decision);
            browser->ReportFailure(uri, static_cast<int>(status));
            return TRUE;
        }
    }
    return FALSE;
}

void Browser::OnLoadChanged(WebKitWebView* view, WebKitLoadEvent event, gpointer self) {
    auto* browser = static_cast<Browser*>(self);
    if (event == WEBKIT_LOAD_STARTED) {
        browser->m_failureReported = false;
        browser->StopTimer();
        browser->m_timer = g_timeout_add(PageTimeoutMs(), &Browser::OnTimeout, browser);
    } else if (event == WEBKIT_LOAD_FINISHED) {
        browser->StopTimer();
        // A failed load finishes too, right after its failure; only a page that loaded counts.
        if (browser->m_failedLoadFinishing) {
            browser->m_failedLoadFinishing = false;
            return;
        }
        if (browser->m_navigator == nullptr) return;
        // A request the web engine refuses to send (a port it keeps closed) ends on an empty
        // page instead of a failure: it is reported as the failure it is.
        if (browser->Address() == "about:blank" && browser->m_requested != "about:blank") {
            browser->ReportFailure(browser->m_requested, NE_InvalidUrl);
            return;
        }
        browser->m_navigator->OnDocumentComplete(browser->Address());
    }
}

gboolean Browser::OnLoadFailed(WebKitWebView*, WebKitLoadEvent, gchar* uri, GError* error,
                               gpointer self) {
    auto* browser = static_cast<Browser*>(self);
    browser->m_failedLoadFinishing = true;
    // A load cancelled because another one started (or because a response was refused above)
    // is not a failure of its own.
    if (g_error_matches(error, WEBKIT_NETWORK_ERROR, WEBKIT_NETWORK_ERROR_CANCELLED) ||
        g_error_matches(error, WEBKIT_POLICY_ERROR,
                        WEBKIT_POLICY_ERROR_FRAME_LOAD_INTERRUPTED_BY_POLICY_CHANGE)) {
        return TRUE;
    }
    browser->ReportFailure(uri ? uri : "", CodeOfError(error));
    return TRUE;  // no built-in error page: the launcher chooses what is shown
}

gboolean Browser::OnTimeout(gpointer self) {
    auto* browser = static_cast<Browser*>(self);
    browser->m_timer = 0;
    std::string address = browser->Address();
    browser->ReportFailure(address, NE_Timeout);
    webkit_web_view_stop_loading(browser->m_view);
    return G_SOURCE_REMOVE;
}

GtkWidget* Browser::OnCreate(WebKitWebView* view, WebKitNavigationAction*, gpointer) {
    // The system's browser could not be started: the page opens in a window of its own, never
    // inside the launcher's page area.
    GtkWidget* popup = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_default_size(GTK_WINDOW(popup), 800, 600);
    GtkWidget* child = webkit_web_view_new_with_related_view(view);
    gtk_container_add(GTK_CONTAINER(popup), child);
    g_signal_connect_swapped(child, "ready-to-show", G_CALLBACK(gtk_widget_show_all), popup);
    g_signal_connect_swapped(child, "close", G_CALLBACK(gtk_widget_destroy), popup);
    return child;
}

}  // namespace LarkUi

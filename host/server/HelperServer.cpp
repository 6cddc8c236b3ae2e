#include "HelperServer.h"

#include "CEscape.h"

#include <gio/gio.h>
#include <gio/gunixsocketaddress.h>
#include <sys/stat.h>
#include <unistd.h>

#include "HostSetup.h"
#include "LogMessage.h"
#include "MainThread.h"

namespace larkhost {
namespace {

std::string SocketPath(const std::string& directory) {
    return (directory.empty() ? std::string(g_get_user_runtime_dir()) : directory) + "/" +
           HelperServer::kName;
}

// One request line to the host at `path`; false when nothing answers there.
bool Ask(const std::string& path, const std::string& request, std::string& answer) {
    GSocketClient* client = g_socket_client_new();
    GSocketAddress* address = g_unix_socket_address_new(path.c_str());
    GSocketConnection* connection =
        g_socket_client_connect(client, G_SOCKET_CONNECTABLE(address), nullptr, nullptr);
    g_object_unref(address);
    g_object_unref(client);
    if (connection == nullptr) return false;
    std::string line = request + "\n";
    GOutputStream* out = g_io_stream_get_output_stream(G_IO_STREAM(connection));
    bool ok = g_output_stream_write_all(out, line.data(), line.size(), nullptr, nullptr, nullptr);
    if (ok) {
        GDataInputStream* lines =
            g_data_input_stream_new(g_io_stream_get_input_stream(G_IO_STREAM(connection)));
        gsize length = 0;
        gchar* reply = g_data_input_stream_read_line(lines, &length, nullptr, nullptr);
        ok = reply != nullptr;
        if (ok) answer.assign(reply, length);
        g_free(reply);
        g_object_unref(lines);
    }
    g_object_unref(connection);
    return ok;
}

}  // namespace

std::string ForwardRequest(const ForwardedItem& item) {
    return std::string(item.document ? "open-doc" : "open-url") + "\t" + CEscape(item.bottle) +
           "\t" + CEscape(item.text);
}

size_t ForwardToRunningHost(const std::vector<ForwardedItem>& items, const std::string& directory) {
    std::string path = SocketPath(directory);
    size_t taken = 0;
    for (const auto& item : items) {
        std::string answer;
        if (!Ask(path, ForwardRequest(item), answer) || answer != "ok") break;
        ++taken;
    }
    return taken;
}

std::unique_ptr<HelperServer> HelperServer::Start(HelperServerHooks hooks,
                                                  const std::string& directory) {
    std::unique_ptr<HelperServer> server(new HelperServer());
    server->m_hooks = std::move(hooks);
    server->m_path = SocketPath(directory);
    unlink(server->m_path.c_str());  // a socket left by an earlier run

    // Each connection is served on a worker thread; the answers are worked out on the main thread.
    server->m_service = g_threaded_socket_service_new(4);
    GSocketAddress* address = g_unix_socket_address_new(server->m_path.c_str());
    GError* error = nullptr;
    bool ok = g_socket_listener_add_address(G_SOCKET_LISTENER(server->m_service), address,
                                            G_SOCKET_TYPE_STREAM, G_SOCKET_PROTOCOL_DEFAULT,
                                            nullptr, nullptr, &error);
    g_object_unref(address);
    if (!ok) {
        HY_LOG(LL_Error, "HOST", "PTServer::init",
               "Failed to register our helper server.  What do we do now?\n");
        HY_LOG(LL_Error, "HOST", "PTServer::init", "%s: %s", server->m_path.c_str(),
               error ? error->message : "");
        g_clear_error(&error);
        return nullptr;
    }
    chmod(server->m_path.c_str(), 0600);
    g_signal_connect(
        server->m_service, "run",
        G_CALLBACK(+[](GThreadedSocketService*, GSocketConnection* connection, GObject*,
                       gpointer self) -> gboolean {
            GInputStream* in = g_io_stream_get_input_stream(G_IO_STREAM(connection));
            GOutputStream* out = g_io_stream_get_output_stream(G_IO_STREAM(connection));
            GDataInputStream* lines = g_data_input_stream_new(in);
            g_filter_input_stream_set_close_base_stream(G_FILTER_INPUT_STREAM(lines), FALSE);
            gsize length = 0;
            gchar* line = g_data_input_stream_read_line(lines, &length, nullptr, nullptr);
            if (line != nullptr && length <= 65536) {
                std::string request(line, length);
                std::string answer;
                RunOnMainLoop([&] { answer = static_cast<HelperServer*>(self)->Answer(request); });
                answer += "\n";
                g_output_stream_write_all(out, answer.data(), answer.size(), nullptr, nullptr,
                                          nullptr);
            }
            g_free(line);
            g_object_unref(lines);
            return FALSE;
        }),
        server.get());
    g_socket_service_start(server->m_service);
    return server;
}

HelperServer::~HelperServer() {
    if (m_service != nullptr) {
        g_socket_service_stop(m_service);
        g_socket_listener_close(G_SOCKET_LISTENER(m_service));
        g_object_unref(m_service);
        unlink(m_path.c_str());
    }
}

std::string HelperServer::Answer(const std::string& request) {
    bool ready = m_hooks.ready && m_hooks.ready();
    if (request == "ready") return ready ? "yes" : "no";
    if (request.rfind("ready ", 0) == 0) {
        std::string bottle = request.substr(6);
        if (!ready || m_hooks.bottles == nullptr) return "no";
        for (const auto& b : m_hooks.bottles->Bottles())
            if (b.name == bottle) return b.canRunCommands ? "yes" : "no";
        return "no";
    }
    if (request.rfind("raise ", 0) == 0) {
        if (m_hooks.raise) m_hooks.raise(request.substr(6));
        return "ok";
    }
    if (request == "environment") {
        std::string out;
        if (m_hooks.environment)
            for (const auto& e : m_hooks.environment()) out += e + '\0';
        return out;
    }
    for (const char* kind : {"open-url\t", "open-doc\t"}) {
        if (request.rfind(kind, 0) != 0) continue;
        size_t tab = request.find('\t', 9);
        if (tab == std::string::npos || !m_hooks.open) return "error";
        std::string bottle = CUnescape(request.substr(9, tab - 9));
        std::string text = CUnescape(request.substr(tab + 1));
        bool document = kind[5] == 'd';
        // A document comes with an absolute path: the sender's folder means nothing here.
        if (text.empty() || (document && text[0] != '/')) return "error";
        m_hooks.open(document, bottle, text);
        return "ok";
    }
    return "error";
}

}  // namespace larkhost

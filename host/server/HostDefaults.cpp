#include "HostDefaults.h"

#include <glib.h>
#include <cstdlib>

#include "LogMessage.h"

namespace larkhost {
namespace {

constexpr const char* kGroup = "Defaults";
constexpr const char* kListMark = "list:";  // stored lists start with this, texts do not

std::string EncodeList(const std::vector<std::string>& values) {
    std::string out = kListMark;
    for (const auto& v : values) {
        for (char c : v) {
            if (c == ';' || c == '\\') out += '\\';
            out += c;
        }
        out += ';';
    }
    return out;
}

std::vector<std::string> DecodeList(const std::string& raw) {
    std::vector<std::string> out;
    std::string current;
    for (size_t i = std::string(kListMark).size(); i < raw.size(); ++i) {
        if (raw[i] == '\\' && i + 1 < raw.size())
            current += raw[++i];
        else if (raw[i] == ';') {
            out.push_back(current);
            current.clear();
        } else
            current += raw[i];
    }
    return out;
}

}  // namespace

HostDefaults::HostDefaults(std::string path) : m_path(std::move(path)) {
    GKeyFile* file = g_key_file_new();
    if (g_key_file_load_from_file(file, m_path.c_str(), G_KEY_FILE_NONE, nullptr)) {
        gsize count = 0;
        gchar** keys = g_key_file_get_keys(file, kGroup, &count, nullptr);
        for (gsize i = 0; keys != nullptr && i < count; ++i) {
            gchar* value = g_key_file_get_string(file, kGroup, keys[i], nullptr);
            if (value != nullptr) m_values[keys[i]] = value;
            g_free(value);
        }
        g_strfreev(keys);
    }
    g_key_file_free(file);
}

std::string HostDefaults::DefaultPath() {
    const char* config = std::getenv("XDG_CONFIG_HOME");
    std::string base =
        config != nullptr && *config == '/' ? config : std::string(g_get_home_dir()) + "/.config";
    return base + "/Larkspur/larkhost.conf";
}

void HostDefaults::RegisterHostDefaults(const std::string& bottleDir) {
    m_registered["InstallExeFiles"] = "true";
    m_registered["ShowUntestedApps"] = "true";
    m_registered["TieURL"] = "https://www.halcyra.example/larkspur/download";
    m_registered["FirstRunVersion"] = "";
    m_registered["RecentItemsCount"] = "10";
    m_registered["RecentItems"] = kListMark;
    m_registered["ManagedBottleDirs"] = kListMark;
    m_registered["BottleDir"] = bottleDir;
}

bool HostDefaults::Has(const std::string& key) const {
    return m_values.count(key) != 0 || m_registered.count(key) != 0;
}

std::optional<std::string> HostDefaults::GetString(const std::string& key) const {
    auto it = m_values.find(key);
    if (it == m_values.end()) it = m_registered.find(key);
    if (it == m_registered.end() || it->second.rfind(kListMark, 0) == 0) return std::nullopt;
    return it->second;
}

bool HostDefaults::GetBool(const std::string& key, bool fallback) const {
    auto value = GetString(key);
    if (!value) return fallback;
    return *value == "true" || *value == "1" || *value == "yes";
}

long HostDefaults::GetInt(const std::string& key, long fallback) const {
    auto value = GetString(key);
    if (!value || value->empty()) return fallback;
    char* end = nullptr;
    long result = std::strtol(value->c_str(), &end, 10);
    return *end == '\0' ? result : fallback;
}

bool HostDefaults::IsList(const std::string& key) const {
    auto it = m_values.find(key);
    if (it == m_values.end()) it = m_registered.find(key);
    return it != m_registered.end() && it->second.rfind(kListMark, 0) == 0;
}

std::vector<std::string> HostDefaults::GetList(const std::string& key) const {
    auto it = m_values.find(key);
    if (it == m_values.end()) it = m_registered.find(key);
    if (it == m_registered.end() || it->second.rfind(kListMark, 0) != 0) return {};
    return DecodeList(it->second);
}

bool HostDefaults::SetString(const std::string& key, const std::string& value) {
    m_values[key] = value;
    return Save();
}

bool HostDefaults::SetBool(const std::string& key, bool value) {
    return SetString(key, value ? "true" : "false");
}

bool HostDefaults::SetList(const std::string& key, const std::vector<std::string>& values) {
    m_values[key] = EncodeList(values);
    return Save();
}

bool HostDefaults::Remove(const std::string& key) {
    m_values.erase(key);
    return Save();
}

bool HostDefaults::Save() {
    GKeyFile* file = g_key_file_new();
    for (const auto& [key, value] : m_values)
        g_key_file_set_string(file, kGroup, key.c_str(), value.c_str());
    gchar* dir = g_path_get_dirname(m_path.c_str());
    g_mkdir_with_parents(dir, 0700);
    g_free(dir);
    GError* error = nullptr;
    // g_key_file_save_to_file writes a temporary file and renames it over the old one.
    bool ok = g_key_file_save_to_file(file, m_path.c_str(), &error);
    if (!ok) {
        HY_LOG(LL_Error, "HOST", "HostDefaults::Save", "cannot save %s: %s", m_path.c_str(),
               error ? error->message : "unknown error");
        g_clear_error(&error);
    }
    g_key_file_free(file);
    return ok;
}

}  // namespace larkhost

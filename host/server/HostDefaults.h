// The host's user defaults: a key file ("larkhost.conf" under $XDG_CONFIG_HOME/Larkspur) with
// registered fall-back values that are never written to it. Values are saved at once, replacing
// the file atomically.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace larkhost {

class HostDefaults {
  public:
    // `path`: the key file; created on the first change.
    explicit HostDefaults(std::string path);

    // $XDG_CONFIG_HOME/Larkspur/larkhost.conf (~/.config when the variable is unset).
    static std::string DefaultPath();

    // Registers the host's defaults: InstallExeFiles, ShowUntestedApps, TieURL, FirstRunVersion,
    // RecentItemsCount, RecentItems, ManagedBottleDirs and BottleDir (`bottleDir`).
    void RegisterHostDefaults(const std::string& bottleDir);

    void RegisterString(const std::string& key, const std::string& value) {
        m_registered[key] = value;
    }

    bool Has(const std::string& key) const;
    std::optional<std::string> GetString(const std::string& key) const;
    bool GetBool(const std::string& key, bool fallback = false) const;
    long GetInt(const std::string& key, long fallback = 0) const;
    // A list is stored as strings separated by ';' (escaped as the key file does).
    std::vector<std::string> GetList(const std::string& key) const;
    // True when the stored value is a list (not a single text).
    bool IsList(const std::string& key) const;

    bool SetString(const std::string& key, const std::string& value);
    bool SetBool(const std::string& key, bool value);
    bool SetList(const std::string& key, const std::vector<std::string>& values);
    bool Remove(const std::string& key);

  private:
    bool Save();

    std::string m_path;
    std::map<std::string, std::string> m_values;      // raw key-file values
    std::map<std::string, std::string> m_registered;  // raw fall-backs
};

}  // namespace larkhost

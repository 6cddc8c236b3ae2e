// The current user's store of remembered text values. On Windows it is the registry below
// HKEY_CURRENT_USER: `path` names a key there that holds the store's keys (empty: HKEY_CURRENT_USER
// itself, the default), values are text values (REG_SZ) and keys are opened for reading and
// writing. Elsewhere it stands in for those keys: one file under the user's configuration
// directory ($XDG_CONFIG_HOME, by default ~/.config) holding "key, value name, value" lines, every
// write rewriting the whole file atomically (temporary file, sync, rename), so a reader sees the
// old store or the new one. Texts are UTF-8 on both. Failures are reported by the return values
// only (this library sits below logging).
#pragma once

#include <map>
#include <string>
#include <utility>

class UserRegistryStore {
  public:
    // The store at `path`.
    explicit UserRegistryStore(std::string path);

    // The user's store: HKEY_CURRENT_USER itself on Windows (empty); elsewhere
    // "<configuration directory>/Larkspur/UserRegistry.txt", empty when neither $XDG_CONFIG_HOME
    // nor $HOME is set.
    static std::string DefaultPath();

    // True and the value when `key` holds a value named `name`; false also when the store
    // cannot be read or holds a malformed line.
    bool ReadString(const std::string& key, const std::string& name, std::string& value) const;
    // Whether `key` can be opened: 0 when it exists (in the file store: holds at least one value),
    // 2 when it does not exist, 5 when it cannot be opened for reading and writing or the store
    // cannot be read (the registry's "not found" and "access denied" codes).
    int OpenKey(const std::string& key) const;
    // Stores the value (creating the key and the store's directory); false when the store
    // cannot be read back whole or written.
    bool WriteString(const std::string& key, const std::string& name, const std::string& value);

    const std::string& Path() const { return m_path; }

  private:
    using Values = std::map<std::pair<std::string, std::string>, std::string>;
    // The file store: false when the file exists but cannot be read or holds a malformed line.
    bool Load(Values& values) const;

    std::string m_path;
};

// The per-user store on Windows: keys and text values below HKEY_CURRENT_USER.
#include "UserRegistryStore.h"

#include <windows.h>

#include "WinHandle.h"

#include <vector>

namespace {

// KEY_READ | KEY_WRITE: what the launcher asks of its own keys.
constexpr REGSAM kReadWrite = KEY_READ | KEY_WRITE;

bool ToWide(const std::string& text, std::wstring& wide) {
    return HY_OS::win::Utf8ToWide(text, wide);
}

bool ToUtf8(const std::wstring& wide, std::string& text) {
    text.clear();
    if (wide.empty()) return true;
    int n = WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, wide.data(),
                                static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
    if (n <= 0) return false;
    text.resize(static_cast<size_t>(n));
    return WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, wide.data(),
                               static_cast<int>(wide.size()), text.data(), n, nullptr,
                               nullptr) == n;
}

// The registry path of `key` below HKEY_CURRENT_USER, inside the store's own key when it has one.
bool KeyPath(const std::string& root, const std::string& key, std::wstring& path) {
    std::string full = root.empty() ? key : key.empty() ? root : root + "\\" + key;
    return ToWide(full, path);
}

class OpenedKey {
public:
    ~OpenedKey() {
        if (m_key) RegCloseKey(m_key);
    }
    HKEY* Out() { return &m_key; }
    HKEY Get() const { return m_key; }

private:
    HKEY m_key = nullptr;
};

}  // namespace

UserRegistryStore::UserRegistryStore(std::string path) : m_path(std::move(path)) {}

std::string UserRegistryStore::DefaultPath() { return {}; }

bool UserRegistryStore::ReadString(const std::string& key, const std::string& name,
                                   std::string& value) const {
    std::wstring path, valueName;
    if (!KeyPath(m_path, key, path) || !ToWide(name, valueName)) return false;
    OpenedKey opened;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, opened.Out()) != ERROR_SUCCESS)
        return false;
    DWORD type = 0, size = 0;
    if (RegQueryValueExW(opened.Get(), valueName.c_str(), nullptr, &type, nullptr, &size) !=
            ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ))
        return false;
    std::vector<wchar_t> data(size / sizeof(wchar_t) + 1, L'\0');
    DWORD got = static_cast<DWORD>(data.size() * sizeof(wchar_t));
    if (RegQueryValueExW(opened.Get(), valueName.c_str(), nullptr, &type,
                         reinterpret_cast<BYTE*>(data.data()), &got) != ERROR_SUCCESS)
        return false;
    // The stored text need not end in its terminator; it ends at the first one or at its size.
    size_t length = got / sizeof(wchar_t);
    std::wstring text(data.data(), length);
    size_t end = text.find(L'\0');
    if (end != std::wstring::npos) text.resize(end);
    return ToUtf8(text, value);
}

int UserRegistryStore::OpenKey(const std::string& key) const {
    std::wstring path;
    if (!KeyPath(m_path, key, path)) return 2;
    OpenedKey opened;
    LONG result = RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, kReadWrite, opened.Out());
    if (result == ERROR_SUCCESS) return 0;
    if (result == ERROR_FILE_NOT_FOUND || result == ERROR_PATH_NOT_FOUND) return 2;
    return 5;
}

bool UserRegistryStore::WriteString(const std::string& key, const std::string& name,
                                    const std::string& value) {
    std::wstring path, valueName, data;
    if (!KeyPath(m_path, key, path) || !ToWide(name, valueName) || !ToWide(value, data))
        return false;
    OpenedKey opened;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                        kReadWrite, nullptr, opened.Out(), nullptr) != ERROR_SUCCESS)
        return false;
    // A text value carries its terminator.
    DWORD bytes = static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t));
    return RegSetValueExW(opened.Get(), valueName.c_str(), 0, REG_SZ,
                          reinterpret_cast<const BYTE*>(data.c_str()), bytes) == ERROR_SUCCESS;
}

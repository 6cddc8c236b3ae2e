#include "WinHandle.h"

#include <cstdlib>

#include "OsEnv.h"

namespace HY_OS {

// The process environment block is the one programs started by this process inherit; the C
// run-time keeps its own copy for getenv, so changes go to both.
bool GetEnv(const std::string& name, std::string& value) {
    if (name.empty()) return false;
    char small[256];
    SetLastError(ERROR_SUCCESS);
    DWORD n = GetEnvironmentVariableA(name.c_str(), small, sizeof small);
    if (n == 0) {
        if (GetLastError() == ERROR_ENVVAR_NOT_FOUND) return false;
        value.clear();
        return true;
    }
    if (n < sizeof small) {
        value.assign(small, n);
        return true;
    }
    std::string big(n, '\0');
    n = GetEnvironmentVariableA(name.c_str(), big.data(), static_cast<DWORD>(big.size()));
    if (n == 0 || n >= big.size()) return false;
    big.resize(n);
    value = big;
    return true;
}

bool SetEnv(const std::string& name, const std::string& value) {
    if (name.empty() || name.find('=') != std::string::npos) return false;
    return SetEnvironmentVariableA(name.c_str(), value.c_str()) != 0 &&
           _putenv_s(name.c_str(), value.c_str()) == 0;
}

bool UnsetEnv(const std::string& name) {
    if (name.empty() || name.find('=') != std::string::npos) return false;
    SetEnvironmentVariableA(name.c_str(), nullptr);
    return _putenv_s(name.c_str(), "") == 0;
}

}  // namespace HY_OS

#include "OsEnv.h"

#include <cstdlib>

namespace HY_OS {

bool GetEnv(const std::string& name, std::string& value) {
    const char* text = std::getenv(name.c_str());
    if (text == nullptr) return false;
    value = text;
    return true;
}

bool SetEnv(const std::string& name, const std::string& value) {
    return ::setenv(name.c_str(), value.c_str(), 1) == 0;
}

bool UnsetEnv(const std::string& name) { return ::unsetenv(name.c_str()) == 0; }

}  // namespace HY_OS

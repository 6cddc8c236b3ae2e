// Environment variables of the platform seam.
#pragma once

#include <string>

namespace HY_OS {

// True and the value when the variable is set.
bool GetEnv(const std::string& name, std::string& value);
bool SetEnv(const std::string& name, const std::string& value);
bool UnsetEnv(const std::string& name);

}  // namespace HY_OS

// Test support: a fresh directory in the temporary folder, removed with everything in it at the end.
#pragma once

#include <string>

namespace hytest {

class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    // The directory, or `name` inside it.
    std::string Path(const std::string& name = "") const;
    // `name` inside the directory.
    std::string operator/(const std::string& name) const { return Path(name); }

private:
    std::string m_path;
};

}  // namespace hytest

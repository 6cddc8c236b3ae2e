#include "TempDir.h"

#include <cstdio>
#include <filesystem>
#include <random>
#include <system_error>

namespace hytest {

// A new directory of a random name in the system's temporary folder (/tmp, or TMPDIR; on
// Windows the user's temporary folder, a drive-letter path with backslashes).
TempDir::TempDir() {
    std::error_code error;
    std::filesystem::path base = std::filesystem::temp_directory_path(error);
    if (error) base = "/tmp";
    std::random_device random;
    for (int attempt = 0; attempt < 100; ++attempt) {
        char name[32];
        std::snprintf(name, sizeof name, "hytest.%08x", static_cast<unsigned>(random()));
        std::filesystem::path candidate = base / name;
        if (std::filesystem::create_directory(candidate, error)) {
            // Forward slashes on every system, as the program writes the paths it logs.
            m_path = candidate.generic_string();
            return;
        }
    }
    m_path = base.generic_string();
}

TempDir::~TempDir() {
    std::error_code ignored;
    // Only a directory this object made is removed, never the temporary folder itself.
    if (m_path.find("hytest.") != std::string::npos) std::filesystem::remove_all(m_path, ignored);
}

std::string TempDir::Path(const std::string& name) const {
    return name.empty() ? m_path : m_path + "/" + name;
}

}  // namespace hytest

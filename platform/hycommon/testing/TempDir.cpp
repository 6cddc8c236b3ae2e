#include "TempDir.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace hytest {

TempDir::TempDir() {
    char pattern[] = "/tmp/hytest.XXXXXX";
    const char* made = mkdtemp(pattern);
    m_path = made ? made : "/tmp";
}

TempDir::~TempDir() {
    std::error_code ignored;
    if (m_path != "/tmp") std::filesystem::remove_all(m_path, ignored);
}

std::string TempDir::Path(const std::string& name) const {
    return name.empty() ? m_path : m_path + "/" + name;
}

}  // namespace hytest

#include "LanguageFile.h"

#include "OsFile.h"

namespace {

// Drops the last path component when a separator stands at a position greater than 0.
void DropLastComponent(std::string& path) {
    size_t cut = path.find_last_of("/\\");
    if (cut != std::string::npos && cut > 0) path.resize(cut);
}

bool EndsName(unsigned char c) { return c < 0x20 || c >= 0x80; }

}  // namespace

std::string GameRootOf(const std::string& launcherDirectory) {
    std::string root = launcherDirectory;
    DropLastComponent(root);
    DropLastComponent(root);
    return root;
}

std::string ReadLanguageName(const std::string& path) {
    HY_OS::File file = HY_OS::File::Open(path, HY_OS::FileMode::Read);
    if (!file.IsOpen()) return kDefaultLanguage;
    std::string name;
    char block[512];
    for (;;) {
        int64_t n = file.Read(block, sizeof block);
        if (n < 0) return kDefaultLanguage;  // e.g. a directory of that name
        if (n == 0) return name;
        for (int64_t i = 0; i < n; ++i) {
            if (EndsName(static_cast<unsigned char>(block[i])) ||
                name.size() == kMaxLanguageNameLength) {
                return name;
            }
            name.push_back(block[i]);
        }
    }
}

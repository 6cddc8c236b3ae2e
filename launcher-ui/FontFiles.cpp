#include "FontFiles.h"

#include <dirent.h>
#include <dlfcn.h>
#include <fontconfig/fontconfig.h>

#include <mutex>

#include "OsFile.h"

namespace LarkUi {

std::string LibraryDirectory() {
    Dl_info info{};
    if (::dladdr(reinterpret_cast<void*>(&LibraryDirectory), &info) == 0 ||
        info.dli_fname == nullptr)
        return {};
    return HY_OS::DirectoryPart(info.dli_fname);
}

int RegisterFontFiles() {
    static std::once_flag once;
    static int registered = 0;
    std::call_once(once, [] {
        std::string folder = HY_OS::JoinPath(LibraryDirectory(), "fonts");
        DIR* dir = ::opendir(folder.c_str());
        if (dir == nullptr) return;
        FcConfig* config = FcConfigGetCurrent();
        while (dirent* entry = ::readdir(dir)) {
            std::string name = entry->d_name;
            if (name.size() < 5) continue;
            std::string suffix = name.substr(name.size() - 4);
            if (suffix != ".otf" && suffix != ".ttf") continue;
            std::string path = HY_OS::JoinPath(folder, name);
            if (FcConfigAppFontAddFile(config, reinterpret_cast<const FcChar8*>(path.c_str())))
                ++registered;
        }
        ::closedir(dir);
    });
    return registered;
}

}  // namespace LarkUi

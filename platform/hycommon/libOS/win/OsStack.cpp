#include "WinHandle.h"

#include <cstdio>

#include "OsFile.h"
#include "OsStack.h"

namespace HY_OS {

// Without debugging symbols loaded, a frame is named by its module and the offset into it
// ("LarkLauncher.exe+0x1a2b3"), which a debugger or the map file turns into a function.
std::vector<std::string> CallerStack(int maxFrames) {
    std::vector<std::string> names;
    if (maxFrames <= 0) return names;
    std::vector<void*> frames(static_cast<size_t>(maxFrames));
    // Skip this function's own frame.
    USHORT count = RtlCaptureStackBackTrace(1, static_cast<DWORD>(frames.size()), frames.data(), nullptr);
    for (USHORT i = 0; i < count; ++i) {
        HMODULE module = nullptr;
        std::string where = "??";
        if (GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                   GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                               static_cast<LPCSTR>(frames[i]), &module)) {
            char path[MAX_PATH] = {};
            GetModuleFileNameA(module, path, sizeof path);
            char offset[32];
            std::snprintf(offset, sizeof offset, "+0x%llx",
                          static_cast<unsigned long long>(static_cast<char*>(frames[i]) -
                                                          reinterpret_cast<char*>(module)));
            where = FileNamePart(path) + offset;
        }
        names.push_back(std::move(where));
    }
    return names;
}

}  // namespace HY_OS

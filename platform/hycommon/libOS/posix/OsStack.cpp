#include "OsStack.h"

#include <cxxabi.h>
#include <dlfcn.h>
#include <execinfo.h>

#include <cstdlib>

namespace HY_OS {

std::vector<std::string> CallerStack(int maxFrames) {
    std::vector<std::string> names;
    if (maxFrames <= 0) return names;
    std::vector<void*> frames(static_cast<size_t>(maxFrames) + 1);
    int count = backtrace(frames.data(), static_cast<int>(frames.size()));
    // Frame 0 is this function.
    for (int i = 1; i < count; ++i) {
        Dl_info info{};
        std::string where = "??";
        if (dladdr(frames[i], &info) != 0) {
            if (info.dli_sname) {
                int status = 0;
                char* text = abi::__cxa_demangle(info.dli_sname, nullptr, nullptr, &status);
                where = status == 0 && text ? text : info.dli_sname;
                std::free(text);
            } else if (info.dli_fname) {
                where = info.dli_fname;
            }
        }
        names.push_back(std::move(where));
    }
    return names;
}

}  // namespace HY_OS

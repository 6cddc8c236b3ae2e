// Opens the launcher window with no display at all and prints every command the window sends.
#include <dlfcn.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "WindowLibraryExports.h"

int main() {
    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
    void* library = dlopen(LARK_UI_LIBRARY, RTLD_NOW);
    if (library == nullptr) return 2;
    auto showUI =
        reinterpret_cast<decltype(&IFnShowUI)>(dlsym(library, WindowExportSymbols::kShowUI));
    if (showUI == nullptr) return 3;
    CommandDelegate commands;
    commands.function = [](void*, ExeParams& params) { std::printf("%s\n", params.command); };
    showUI("", 0, false, "Software\\Halcyra", "", &commands);
    std::printf("returned\n");
    return 0;
}

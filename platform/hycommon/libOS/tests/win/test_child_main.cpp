// A small program the process tests start: "write FILE ARGS..." writes the current directory and
// then each argument on a line of its own to FILE; "sleep MS" waits that long; "set-event NAME"
// sets the named event NAME (exit code 3 when there is none).
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char** argv) {
    if (argc >= 3 && std::strcmp(argv[1], "write") == 0) {
        std::FILE* out = std::fopen(argv[2], "wb");
        if (out == nullptr) return 2;
        char here[MAX_PATH * 2] = {};
        GetCurrentDirectoryA(sizeof here, here);
        std::fprintf(out, "%s\n", here);
        for (int i = 3; i < argc; ++i) std::fprintf(out, "%s\n", argv[i]);
        std::fclose(out);
        return 0;
    }
    if (argc >= 3 && std::strcmp(argv[1], "sleep") == 0) {
        Sleep(static_cast<DWORD>(std::strtoul(argv[2], nullptr, 10)));
        return 0;
    }
    if (argc >= 3 && std::strcmp(argv[1], "set-event") == 0) {
        HANDLE event = OpenEventA(EVENT_MODIFY_STATE | SYNCHRONIZE, FALSE, argv[2]);
        if (event == nullptr) return 3;
        bool set = SetEvent(event) != 0;
        CloseHandle(event);
        return set ? 0 : 4;
    }
    return 1;
}

// What the shell's calls share on every platform: the address check and the message-box switch.
#include "OsShell.h"
#include "OsShellShared.h"

#include <atomic>
#include <cctype>
#include <cstdio>

namespace HY_OS {

namespace {
std::atomic<bool> g_interactive{true};

bool StartsWithNoCase(const std::string& text, const char* prefix) {
    size_t i = 0;
    for (; prefix[i] != '\0'; ++i) {
        if (i >= text.size()) return false;
        if (std::tolower(static_cast<unsigned char>(text[i])) != prefix[i]) return false;
    }
    return true;
}
}  // namespace

bool IsWebAddress(const std::string& address) {
    size_t scheme = StartsWithNoCase(address, "http://")    ? 7
                    : StartsWithNoCase(address, "https://") ? 8
                                                            : 0;
    if (scheme == 0 || address.size() == scheme) return false;
    // A control character would end the address early or start a new line in a log.
    for (unsigned char c : address)
        if (c < 0x20 || c == 0x7f) return false;
    return true;
}

void SetMessageBoxesInteractive(bool interactive) { g_interactive.store(interactive); }

bool MessageBoxesInteractive() { return g_interactive.load(); }

// The answer of a box that nobody answers: the one that changes nothing or stops safely.
MessageBoxAnswer SafeMessageBoxAnswer(MessageBoxButtons buttons) {
    switch (buttons) {
        case MBB_YesNo: return MBA_No;
        case MBB_AbortRetryIgnore: return MBA_Abort;
        case MBB_Ok: break;
    }
    return MBA_Ok;
}

void PrintMessageBox(const char* title, const char* text) {
    std::fprintf(stderr, "[%s] %s\n", title, text);
    std::fflush(stderr);
}

}  // namespace HY_OS

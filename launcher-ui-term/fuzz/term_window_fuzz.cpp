// The terminal front-end on arbitrary outside text. Input: bytes used at once as a server's file
// name, a page address and typed lines (split at line feeds). Plain output must stay free of
// control characters other than line ends, whatever the input holds.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "CommandSink.h"
#include "FuzzTarget.h"
#include "TermDialog.h"
#include "TermOutput.h"

namespace {

bool PlainText(const std::string& text) {
    for (size_t i = 0; i < text.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if ((c < 0x20 && c != '\n') || c == 0x7F) return false;
        if (c == 0xC2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
            static_cast<unsigned char>(text[i + 1]) < 0xA0)
            return false;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string input(reinterpret_cast<const char*>(data), size);
    if (!PlainText(LarkTerm::Printable(input))) std::abort();

    char* buffer = nullptr;
    size_t length = 0;
    std::FILE* stream = open_memstream(&buffer, &length);
    {
        LarkTerm::TermOutput output(stream, false, 80);
        LarkUi::CommandSink commands;  // no delegate: commands are dropped
        // The user-name key is never opened: without a delegate nothing would report it, and a
        // fuzz run must not write the user's store.
        LarkTerm::TermDialog dialog({"", "", -1}, commands, output);
        dialog.ShowLoginControls();
        size_t start = 0;
        while (start <= input.size()) {
            size_t end = input.find('\n', start);
            if (end == std::string::npos) end = input.size();
            dialog.OnLine(input.substr(start, end - start));
            dialog.ShowPromptIfNeeded();
            start = end + 1;
        }
        dialog.ShowProgressControls();
        dialog.ReportFileProgress(input.c_str(), static_cast<unsigned>(size), size % 2 == 0);
        dialog.ReportTotalProgress(static_cast<unsigned>(size % 101), size);
        dialog.GotoPage(input);
    }
    std::fclose(stream);
    std::string shown(buffer, length);
    free(buffer);
    if (!PlainText(shown)) std::abort();
    return 0;
}

std::vector<std::string> HyFuzzSeeds() {
    return {"Data/Root.wad", "alice\npass word\n\n/limit 100\n/remember on\n",
            "http://127.0.0.1/news?x=1\033]0;title\007\033[2J", "caf\xc3\xa9\xc2\x9b\x01\x7f"};
}

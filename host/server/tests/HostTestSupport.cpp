#include "HostTestSupport.h"

#include <glib.h>
#include <sys/stat.h>
#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

namespace larkhost::test {

bool PumpUntil(const std::function<bool()>& done) {
    for (int i = 0; i < 4000; ++i) {
        if (done()) return true;
        if (!g_main_context_iteration(nullptr, FALSE))
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return done();
}

void PumpPending() {
    while (g_main_context_iteration(nullptr, FALSE)) {
    }
}

void WriteScript(const std::string& path, const std::string& body) {
    std::ofstream(path) << "#!/bin/sh\n" << body;
    chmod(path.c_str(), 0755);
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

std::vector<std::string> SplitOnSpaces(const std::string& text) {
    std::vector<std::string> words;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find(' ', start);
        if (end == std::string::npos) end = text.size();
        if (end > start) words.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return words;
}

}  // namespace larkhost::test

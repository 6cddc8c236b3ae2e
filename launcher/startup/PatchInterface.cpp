#include "PatchInterface.h"

#include "OsFile.h"

std::string ExeBaseNameOf(const std::string& exePath) {
    std::string name = HY_OS::FileNamePart(exePath);
    size_t dot = name.find_last_of('.');
    if (dot != std::string::npos && dot > 0) name.resize(dot);
    return name;
}

CPatchInterface::CPatchInterface(const std::string& exePath, const LaunchOptions& options)
    : m_exePath(exePath), m_exeBaseName(ExeBaseNameOf(exePath)), m_launchOptions(options) {
    m_commandDelegate.object = this;
    m_commandDelegate.function = &CPatchInterface::ExecuteThunk;
    m_commandDelegate.boundFile = __FILE__;
    m_commandDelegate.boundLine = __LINE__;
}

void CPatchInterface::ExecuteThunk(void* self, ExeParams& params) {
    static_cast<CPatchInterface*>(self)->Execute(params);
}

std::vector<std::string> CPatchInterface::SplitCommand(const char* text) {
    std::vector<std::string> tokens;
    if (text == nullptr) return tokens;
    std::string token;
    for (const char* p = text;; ++p) {
        if (*p == '|' || *p == '\0') {
            if (!token.empty()) tokens.push_back(std::move(token));
            token.clear();
            if (*p == '\0') break;
        } else {
            token.push_back(*p);
        }
    }
    return tokens;
}

void CPatchInterface::Execute(ExeParams& params) {
    std::vector<std::string> tokens = SplitCommand(params.command);
    if (tokens.empty()) return;
    params.handled = true;
}

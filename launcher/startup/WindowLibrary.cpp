#include "WindowLibrary.h"

#include <cstdio>

#include "DebugOutput.h"
#include "OsEnv.h"
#include "OsFile.h"
#include "OsHost.h"

WindowLibrary::WindowLibrary(std::string library)
    : m_library(std::move(library)),
      m_fileName(m_library.find_first_of("/.") == std::string::npos
                     ? HY_OS::LibraryFileName(m_library)
                     : m_library) {}

WindowLibrary::~WindowLibrary() { HY_OS::FreeLibrary(m_handle); }

FrontEndChoice ChooseWindowFrontEnd(const std::string& larkUi, bool displayAvailable,
                                    bool graphicalInstalled) {
    if (larkUi == "terminal") return {WF_Terminal, "LARK_UI=terminal"};
    if (larkUi == "graphical") return {WF_Graphical, "LARK_UI=graphical"};
    if (!displayAvailable) return {WF_Terminal, "no display"};
    if (!graphicalInstalled) return {WF_Terminal, "the graphical window is not installed"};
    return {WF_Graphical, "a display is available"};
}

namespace {
#ifdef HY_ONE_WINDOW_LIBRARY
constexpr bool kOneWindowLibrary = true;
#else
constexpr bool kOneWindowLibrary = false;
#endif
}  // namespace

std::string WindowLibrary::ChosenLibrary(std::string& message) {
    std::string larkUi;
    HY_OS::GetEnv("LARK_UI", larkUi);
    if (kOneWindowLibrary) {
        message = "Larkspur: window front-end: the console window (the one window library of this "
                  "build)";
        if (!larkUi.empty()) message += "; LARK_UI=" + larkUi + " has no other to choose";
        return kLibraryName;
    }
    std::string graphical = HY_OS::JoinPath(HY_OS::DirectoryPart(HY_OS::GetExecutablePath()),
                                            HY_OS::LibraryFileName(kLibraryName));
    FrontEndChoice choice =
        ChooseWindowFrontEnd(larkUi, HY_OS::HasGraphicalDisplay(), HY_OS::FileExists(graphical));
    const char* library = choice.frontEnd == WF_Terminal ? kTerminalLibraryName : kLibraryName;
    message = std::string("Larkspur: window front-end: ") +
              (choice.frontEnd == WF_Terminal ? "terminal" : "graphical") + " (" + choice.reason +
              ")";
    if (!larkUi.empty() && larkUi != "terminal" && larkUi != "graphical")
        message += "; LARK_UI=" + larkUi + " is not known (\"terminal\" or \"graphical\")";
    return library;
}

WindowLibrary& WindowLibrary::Instance() {
    // Never destroyed: the window library may be running code until the very end of the process.
    static WindowLibrary* instance = [] {
        std::string message;
        auto* library = new WindowLibrary(ChosenLibrary(message));
        std::fprintf(stderr, "%s\n", message.c_str());
        return library;
    }();
    return *instance;
}

HY_OS::LibraryHandle WindowLibrary::Load() const {
    // The launcher ships with its window library, so a copy beside the program comes first.
    if (m_fileName == HY_OS::LibraryFileName(m_library)) {
        std::string besideProgram =
            HY_OS::JoinPath(HY_OS::DirectoryPart(HY_OS::GetExecutablePath()), m_fileName);
        if (HY_OS::FileExists(besideProgram)) {
            if (HY_OS::LibraryHandle handle = HY_OS::LoadLibraryByName(besideProgram)) return handle;
        }
    }
    return HY_OS::LoadLibraryByName(m_library);
}

void* WindowLibrary::Resolve(const WindowExport& function, BindFailure& failure) {
    std::lock_guard<std::mutex> hold(m_lock);
    if (m_handle == nullptr) m_handle = Load();
    if (m_handle == nullptr) {
        failure = BF_LibraryMissing;
        return nullptr;
    }
    void* address = HY_OS::GetLibrarySymbol(m_handle, function.symbol);
    failure = address ? BF_None : BF_FunctionMissing;
    return address;
}

std::string WindowLibrary::BindFailureText(const char* callName, const WindowExport& function,
                                           BindFailure failure) const {
    char text[1024];
    if (failure == BF_LibraryMissing) {
        std::snprintf(text, sizeof text, "%s: Dll %s was not found", callName, m_fileName.c_str());
    } else {
        std::snprintf(text, sizeof text, "%s: Function %s was not found in %s", callName,
                      function.name, m_fileName.c_str());
    }
    return text;
}

void WindowLibrary::ReportBindFailure(const char* callName, const WindowExport& function,
                                      BindFailure failure) const {
    ShowMessageBox("ERROR", BindFailureText(callName, function, failure).c_str());
}

// The binding of the window library "LarkLauncherUI": loaded by name on the first call of one of
// its functions (from the program's own directory first, then the platform's usual places), each
// function looked up on its first call. A failed binding is reported in a
// message box titled "ERROR" and the call is skipped, so the caller can go on.
#pragma once

#include <mutex>
#include <string>
#include <utility>

#include "OsLibrary.h"
#include "WindowLibraryExports.h"

// One export: its plain name (for messages) and its symbol name.
struct WindowExport {
    const char* name;
    const char* symbol;
};

namespace WindowExports {
constexpr WindowExport kAlreadyRunning{"IFnAlreadyRunning", WindowExportSymbols::kAlreadyRunning};
constexpr WindowExport kInitialize{"IFnInitialize", WindowExportSymbols::kInitialize};
constexpr WindowExport kShowUI{"IFnShowUI", WindowExportSymbols::kShowUI};
}  // namespace WindowExports

// The front-ends of the window: the graphical window and the terminal one, the same exports.
enum WindowFrontEnd {
    WF_Graphical = 0,
    WF_Terminal = 1,
};

struct FrontEndChoice {
    WindowFrontEnd frontEnd;
    const char* reason;  // why, for the line that says which was chosen
};

// LARK_UI decides when it is "terminal" or "graphical"; otherwise (unset or any other value) the
// graphical window when a display is available and its library is installed beside the program,
// the terminal front-end when not.
FrontEndChoice ChooseWindowFrontEnd(const std::string& larkUi, bool displayAvailable,
                                    bool graphicalInstalled);

enum BindFailure {
    BF_None = 0,
    BF_LibraryMissing = 1,   // the library could not be loaded
    BF_FunctionMissing = 2,  // the library is loaded but lacks the function
};

class WindowLibrary {
public:
    static constexpr const char* kLibraryName = "LarkLauncherUI";
    static constexpr const char* kTerminalLibraryName = "LarkLauncherUI-term";

    // `library` is a name (the platform's file name is derived from it) or a path.
    explicit WindowLibrary(std::string library = kLibraryName);
    ~WindowLibrary();
    WindowLibrary(const WindowLibrary&) = delete;
    WindowLibrary& operator=(const WindowLibrary&) = delete;

    // The launcher's binding, to the front-end chosen from the environment (said on standard
    // error); it stays loaded until the process ends.
    static WindowLibrary& Instance();
    // The library name of the front-end the environment asks for, and the line that says so.
    static std::string ChosenLibrary(std::string& message);

    // The file the library is loaded from ("libLarkLauncherUI.so" here).
    const std::string& FileName() const { return m_fileName; }

    // The address of the export, loading the library first when needed; nullptr and the kind of
    // failure when the binding fails. A failed load is tried again at the next call.
    void* Resolve(const WindowExport& function, BindFailure& failure);

    // Calls the export with `args` when it can be bound. When it cannot, shows the message box
    // naming `callName` (the guarded step, such as "Initialize") and answers false.
    template <typename Function, typename... Args>
    bool GuardedCall(const char* callName, const WindowExport& function, Args&&... args) {
        BindFailure failure = BF_None;
        void* address = Resolve(function, failure);
        if (address == nullptr) {
            ReportBindFailure(callName, function, failure);
            return false;
        }
        reinterpret_cast<Function*>(address)(std::forward<Args>(args)...);
        return true;
    }

    // The message of a failed binding: "%s: Dll %s was not found" or
    // "%s: Function %s was not found in %s".
    std::string BindFailureText(const char* callName, const WindowExport& function,
                                BindFailure failure) const;

private:
    HY_OS::LibraryHandle Load() const;
    void ReportBindFailure(const char* callName, const WindowExport& function,
                           BindFailure failure) const;

    std::string m_library;
    std::string m_fileName;
    std::mutex m_lock;
    HY_OS::LibraryHandle m_handle = nullptr;
};

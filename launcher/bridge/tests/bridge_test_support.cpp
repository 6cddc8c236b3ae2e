#include "bridge_test_support.h"

#include "OsLibrary.h"

namespace bridgetest {

namespace {

template <typename Function>
Function* Lookup(WindowLibrary& window, const char* symbol) {
    BindFailure failure = BF_None;
    // Loads the library when needed; the test functions sit beside the exports.
    window.Resolve(WindowExport{"IFnHomeButtonFocus", WindowExportSymbols::kHomeButtonFocus}, failure);
    HY_OS::LibraryHandle handle = HY_OS::LoadLibraryByName(window.FileName());
    void* address = HY_OS::GetLibrarySymbol(handle, symbol);
    HY_OS::FreeLibrary(handle);
    return reinterpret_cast<Function*>(address);
}

}  // namespace

WindowLibrary& RecordingWindow() {
    static WindowLibrary* window = new WindowLibrary(RECORDING_WINDOW_LIBRARY);
    return *window;
}

WindowLibrary& PartialWindow() {
    static WindowLibrary* window = new WindowLibrary(PARTIAL_WINDOW_LIBRARY);
    return *window;
}

std::vector<std::string> WindowCalls(WindowLibrary& window) {
    auto* calls = Lookup<std::vector<std::string>*()>(window, "RecordedWindowCalls");
    return calls ? *calls() : std::vector<std::string>{};
}

void ClearWindowCalls(WindowLibrary& window) {
    if (auto* calls = Lookup<std::vector<std::string>*()>(window, "RecordedWindowCalls")) calls()->clear();
}

void SetCredentials(WindowLibrary& window, const std::u16string& name, const std::u16string& password) {
    if (auto* set = Lookup<void(const char16_t*, const char16_t*)>(window, "SetWindowCredentials"))
        set(name.c_str(), password.c_str());
}

bool Send(CPatchInterface& bridge, const char* command) {
    ExeParams params{command, false};
    (*bridge.CommandDelegatePointer())(params);
    return params.handled;
}

TestBridge::TestBridge(const std::string& exePath, const LaunchOptions& options, WindowLibrary& window)
    : CPatchInterface(exePath, options, window) {}

int TestBridge::StartProcess(const std::string& path, const std::vector<std::string>& arguments,
                             const std::string& workingDirectory, uint32_t* processId) {
    started.push_back({path, arguments, workingDirectory});
    if (realProcesses) return CPatchInterface::StartProcess(path, arguments, workingDirectory, processId);
    if (startError == 0 && processId) *processId = 0;
    return startError;
}

}  // namespace bridgetest

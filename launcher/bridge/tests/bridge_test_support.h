// Helpers of the bridge's tests: the recording window library bound in this process, and a bridge
// whose outside world (processes, browser, usage reports, pauses) is recorded instead of used.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "PatchInterface.h"
#include "WindowLibrary.h"

namespace bridgetest {

// The recording window library (or the one without IFnGotoPage), loaded once per process.
WindowLibrary& RecordingWindow();
WindowLibrary& PartialWindow();
// The calls recorded so far by the library of `window`, and forgetting them.
std::vector<std::string> WindowCalls(WindowLibrary& window);
void ClearWindowCalls(WindowLibrary& window);
void SetCredentials(WindowLibrary& window, const std::u16string& name, const std::u16string& password);
// Sends one command through the bridge's delegate, as the window does; answers the handled flag.
bool Send(CPatchInterface& bridge, const char* command);

struct StartedProcess {
    std::string program;
    std::vector<std::string> arguments;
    std::string directory;
};

class TestBridge : public CPatchInterface {
public:
    TestBridge(const std::string& exePath, const LaunchOptions& options, WindowLibrary& window);

    std::vector<StartedProcess> started;
    std::vector<std::string> reports;
    std::vector<std::string> opened;
    std::vector<uint32_t> pauses;
    int startError = 0;           // what StartProcess answers
    bool realProcesses = false;   // start processes for real
    int osCode = 0;

    using CPatchInterface::OnDisplayErrorMessage;
    using CPatchInterface::OnPCCompleted;
    using CPatchInterface::OnPCPrepareGamePatch;
    using CPatchInterface::OnReportPatchingStateToUI;
    using CPatchInterface::VerifyOS;

protected:
    int StartProcess(const std::string& path, const std::vector<std::string>& arguments,
                     const std::string& workingDirectory, uint32_t* processId) override;
    void SendReport(const std::string& address) override { reports.push_back(address); }
    void OpenAddress(const std::string& address) override { opened.push_back(address); }
    std::unique_ptr<HY_OS::NamedEvent> CreateStartupEvent() override { return nullptr; }
    bool WaitForGameStartup(uint32_t, HY_OS::NamedEvent*) override { return true; }
    void PauseMs(uint32_t ms) override { pauses.push_back(ms); }
    int SystemOsCode() const override { return osCode; }
};

}  // namespace bridgetest

// patchclient_driver: plays the launcher's part without a window. It starts like the launcher
// (command line, working folder = its bank, log file, "PatchConfig.xml", "Lang.txt"), runs the
// patch client on the "Main" loop, reads the account name and password from standard input (one
// line each) for a first run, relaunches itself from the other bank when the lead patch asks for
// it, and prints every user-interface callback as one line on standard output:
//
//   state <ST_name> | need-restart <bank> | prepare-game-patch | game-patched
//   completed <root> <bin> <exe> | user-stopped | error-stopped <code> [<extra>]
//   display-error <code> | post-quit | file-done <name> | file-progress <percent> <text>
//   total-progress <percent> | patching-state <n> | show-login | show-progress
//   package-completed <name> <files altered> <bytes downloaded>
//
// Exit code: 0 completed, 3 relaunched, 1 stopped with an error, 2 not started.
#include <cstdarg>
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "HYThread.h"
#include "LanguageFile.h"
#include "LaunchOptions.h"
#include "LauncherLog.h"
#include "OsFile.h"
#include "OsHost.h"
#include "PatchClientBC.h"
#include "PatchClientConfig.h"

namespace {

// "BankA: ": every line tells which bank's launcher wrote it.
std::string g_prefix;

class HeadlessPatchClient : public PatchClientBC {
public:
    using PatchClientBC::PatchClientBC;
    bool finished = false;
    bool relaunched = false;
    int exitCode = 2;

protected:
    void OnPCStateChange(int state) override {
        Print("state %s", StateName(state));
        PatchClientBC::OnPCStateChange(state);
    }
    void OnPCNeedRestart(const std::string& root, const std::string& bankDirectory, const std::string& exeFileName,
                         uint64_t accountId, const std::string& passKey, const std::string& accountName) override {
        Print("need-restart %s", bankDirectory.c_str());
        PatchClientBC::OnPCNeedRestart(root, bankDirectory, exeFileName, accountId, passKey, accountName);
    }
    void OnPackageCompleted(const std::string& package, uint32_t filesAltered, uint64_t bytesDownloaded,
                            uint64_t bytesSaved) override {
        Print("package-completed %s %u %llu", package.c_str(), filesAltered,
              static_cast<unsigned long long>(bytesDownloaded));
        PatchClientBC::OnPackageCompleted(package, filesAltered, bytesDownloaded, bytesSaved);
    }
    void OnPCPrepareGamePatch() override { Print("prepare-game-patch"); }
    void OnPCGamePatched() override { Print("game-patched"); }
    void OnPCCompleted(const std::string& root, const std::string& binDirectory, const std::string& gameExecutable,
                       const std::string& commandLine, const std::string& language, uint64_t accountId,
                       const std::string& passKey, const std::string& accountName) override {
        Print("completed %s %s %s", root.c_str(), binDirectory.c_str(), gameExecutable.c_str());
        // The window bridge records the paying flag the login reported when the start lacked it.
        if (IsPaid() != Options().paidAccount) RewriteAppStartInfo();
        exitCode = 0;
        finished = true;
    }
    void OnPCUserStopped() override {
        Print("user-stopped");
        exitCode = 1;
        finished = true;
    }
    void OnPCErrorStopped(int errorCode, const std::string& extra) override {
        Print("error-stopped %d%s%s", errorCode, extra.empty() ? "" : " ", extra.c_str());
        exitCode = 1;
        finished = true;
    }
    void OnDisplayErrorMessage(int errorCode) override {
        Print("display-error %d", errorCode);
        if (!relaunched) exitCode = 2;
        finished = true;
    }
    int StartProcess(const std::string& path, const std::vector<std::string>& arguments,
                     const std::string& workingDirectory, uint32_t* processId) override {
        int error = PatchClientBC::StartProcess(path, arguments, workingDirectory, processId);
        if (error == 0) {
            relaunched = true;
            exitCode = 3;
        }
        return error;
    }
    void PostQuit() override {
        Print("post-quit");
        finished = true;
    }
    void ReportFileDone(const std::string& fileName) override { Print("file-done %s", fileName.c_str()); }
    void OnReportFileProgressToUI(const std::string& text, int percent) override {
        Print("file-progress %d %s", percent, text.c_str());
    }
    void OnReportTotalProgressToUI(int percent) override { Print("total-progress %d", percent); }
    void OnReportPatchingStateToUI(int state) override { Print("patching-state %d", state); }
    void ShowLoginControls() override { Print("show-login"); }
    void ShowProgressControls() override { Print("show-progress"); }

private:
    [[gnu::format(printf, 1, 2)]] static void Print(const char* format, ...) {
        va_list args;
        va_start(args, format);
        std::fputs(g_prefix.c_str(), stdout);
        std::vprintf(format, args);
        va_end(args);
        std::putchar('\n');
        std::fflush(stdout);
    }
};

}  // namespace

int main(int argc, char** argv) {
    const std::string exePath = HY_OS::GetExecutablePath();
    const std::string exeDirectory = HY_OS::DirectoryPart(exePath);
    LaunchOptions options = ParseLaunchOptions(argc, argv);
    g_prefix = HY_OS::FileNamePart(exeDirectory) + ": ";
    if (!HY_OS::SetCurrentDirectory(exeDirectory)) {
        std::fprintf(stderr, "patchclient_driver: cannot enter %s\n", exeDirectory.c_str());
        return 2;
    }
    if (HYLog::StartLauncherLog() != 0) {
        std::fprintf(stderr, "patchclient_driver: cannot open the log file\n");
        return 2;
    }
    int exitCode = 2;
    {
        PatchClientConfig config;
        if (!config.LoadFile("PatchConfig.xml")) {
            std::fprintf(stderr, "patchclient_driver: PatchConfig.xml could not be read\n");
        } else {
            config.Language = ReadLanguageName(HY_OS::JoinPath(GameRootOf(exeDirectory), "Lang.txt"));
            HYThread* mainThread = HYThread::Current();
            HeadlessPatchClient client(exePath);
            client.InitializePatchClient(config.AppStartRegistryKey, options);
            if (!client.finished && client.GetState() == ST_Ready && options.userId == 0) {
                std::string name, password;
                std::getline(std::cin, name);
                std::getline(std::cin, password);
                if (!client.Start(name, password)) client.finished = true;
                password.assign(password.size(), '\0');
            }
            while (!client.finished) mainThread->RunOnce(true, true);
            // A few passes let closing sessions finish before they are destroyed.
            for (int i = 0; i < 5; ++i) mainThread->RunOnce(false, true);
            exitCode = client.exitCode;
        }
    }
    HYLog::StopLogging();
    return exitCode;
}

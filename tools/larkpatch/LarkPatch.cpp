#include "LarkPatch.h"

#include <cstdio>
#include <ostream>
#include <string>

#include "BatchPatcher.h"
#include "HYThread.h"
#include "LauncherLog.h"
#include "MessageManager.h"
#include "OsSysCalls.h"

namespace {

// The batch patcher with a line for every file and package.
class PrintingBatch : public BatchPatcher {
public:
    explicit PrintingBatch(std::ostream& out) : m_out(out) {}

    bool done = false;
    int failure = 0;
    bool stopped = false;
    uint32_t checked = 0;
    uint32_t fetched = 0;
    uint64_t bytesDownloaded = 0;

protected:
    void OnBatchPatchSuccessful(uint32_t) override { done = true; }
    void OnBatchPatchFailed(int code) override {
        failure = code == 0 ? PF_FileDownloadFailed : code;
        done = true;
    }
    void OnBatchStopped() override {
        stopped = true;
        done = true;
    }
    void OnPackageStarted(const std::string& package) override { Line("package", package); }
    void OnPackageCompleted(const std::string& package, uint32_t altered, uint64_t downloaded, uint64_t) override {
        bytesDownloaded += downloaded;
        m_out << "done      " << package << " (" << altered << " files changed)\n" << std::flush;
    }
    void OnPackageFailed(const std::string& package, int code, uint64_t downloaded, uint64_t) override {
        bytesDownloaded += downloaded;
        m_out << "failed    " << package << " (" << PatchFailureName(code) << ", " << code << ")\n" << std::flush;
    }
    void OnFileUnchanged(const std::string& path) override {
        ++checked;
        Line("current", path);
    }
    void OnFileChanged(const std::string& path) override {
        ++checked;
        ++fetched;
        Line("fetched", path);
    }
    void OnFileRetried(const std::string& path, uint32_t failures) override {
        m_out << "retry     " << path << " (" << failures << ")\n" << std::flush;
    }

private:
    void Line(const char* what, const std::string& text) {
        char tag[16];
        std::snprintf(tag, sizeof tag, "%-9s ", what);
        m_out << tag << text << '\n' << std::flush;
    }

    std::ostream& m_out;
};

}  // namespace

int RunLarkPatch(const LarkPatchOptions& options, std::ostream& out, std::ostream& err,
                 const std::atomic<bool>& stop) {
    if (HYLog::StartLauncherLog(options.log) != 0) {
        err << "larkpatch: cannot open the log file " << options.log << "\n";
        return LPE_Setup;
    }
    int exitCode = LPE_Setup;
    {
        MessageManager& messages = MessageManager::GetSingleton();
        bool loaded = true;
        for (const char* module : {"BaseMessages", "ExtendedBaseMessages", "PatchMessages"})
            loaded = loaded && messages.LoadMessageModule(options.data, module);
        HYThread* thread = HYThread::Current();
        PrintingBatch batch(out);
        batch.SetLocale(options.locale);
        if (!loaded) {
            err << "larkpatch: the message modules could not be loaded from " << options.data << "\n";
        } else if (!batch.Initialize(options.install, options.data, options.cache, options.host, options.port,
                                     false)) {
            err << "larkpatch: cannot create the folder " << options.cache << "\n";
        } else {
            for (const std::string& package : options.packages) batch.AddPackage(package, 1, true);
            uint64_t started = HY_OS::SysCalls().MonotonicMs();
            batch.Start();
            bool stopAsked = false;
            while (!batch.done) {
                if (stop.load() && !stopAsked) {
                    stopAsked = true;
                    batch.Stop();
                }
                thread->RunOnce(true, true);
            }
            double seconds = static_cast<double>(HY_OS::SysCalls().MonotonicMs() - started) / 1000.0;
            char summary[160];
            std::snprintf(summary, sizeof summary,
                          "larkpatch: %u files checked, %u fetched, %llu bytes downloaded in %.2f s\n", batch.checked,
                          batch.fetched, static_cast<unsigned long long>(batch.bytesDownloaded), seconds);
            out << summary;
            if (batch.stopped) {
                err << "larkpatch: stopped\n";
                exitCode = 130;
            } else if (batch.failure != 0) {
                err << "larkpatch: patch failed: " << PatchFailureName(batch.failure) << " (" << batch.failure << ")\n";
                exitCode = batch.failure;
            } else {
                exitCode = LPE_Success;
            }
        }
        // A few passes let the closing session and the download threads finish.
        for (int i = 0; i < 5; ++i) thread->RunOnce(false, true);
    }
    HYLog::StopLogging();
    return exitCode;
}

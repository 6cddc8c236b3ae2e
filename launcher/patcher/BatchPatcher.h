// The batch patcher: patches a list of packages one after the other with the patcher it is. It
// keeps a catalogue of known packages, a priority queue and a normal queue of packages to patch,
// and reports per file, per package and per batch to its owner. Only the first package of a
// batch contacts the patch server; the others reuse the latest file list it loaded.
//
// A missing required package fails the batch; an optional package that the latest file list
// does not know is skipped with a warning. Everything runs on the thread that made the object.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <string>

#include "Patcher.h"

enum PackageState : int {
    PKG_New = 0,
    PKG_NotInList = 1,
    PKG_NeedsCheck = 2,
    PKG_Queued = 3,
    PKG_Patching = 4,
    PKG_Current = 5,
};

enum BatchState : int {
    BS_Uninitialized = 0,
    BS_Ready = 1,
    BS_Running = 2,
    BS_Stopping = 3,
};

enum BatchStep : int {
    BST_Succeeded = 0,
    BST_Failed = 1,
    BST_NextPackage = 2,
};

struct PatchPackage {
    std::string name;
    int priority = 1;  // 1: patched before every priority-0 package
    bool required = false;
    PackageState state = PKG_New;
};
using PatchPackageRef = std::shared_ptr<PatchPackage>;

class BatchPatcher : public Patcher {
public:
    static constexpr const char* kLocalPackagesList = "LocalPackagesList.txt";
    static constexpr uint32_t kServerReplyTimeoutMs = 10000;
    static constexpr uint32_t kInternetTimeoutMs = 300000;
    static constexpr uint32_t kRetryDelayMs = 50;
    static constexpr uint32_t kRetryLimit = 6;

    BatchPatcher();
    ~BatchPatcher() override;

    // Stores where and from where to patch and creates the cache directory when missing.
    bool Initialize(const std::string& installDirectory, const std::string& dataRootPath,
                    const std::string& cacheDirectory, const std::string& host, uint16_t port,
                    bool keepAbsolutePaths);
    // Forgets every package: both queues and the catalogue.
    bool Reset();
    // Catalogues a package and queues it when it may be patched; answers its state (PKG_Queued
    // when queued). `known` tells whether it was catalogued before.
    PackageState AddPackage(const std::string& name, int priority, bool required, bool* known = nullptr);
    // Catalogues the packages of a local package list file, queuing those of at least
    // `minimumPriority` when `queue` is set.
    bool LoadPackagesFromFile(const std::string& path, bool required, bool queue, int minimumPriority);
    bool Start();
    bool Stop();

    BatchState GetBatchState() const { return m_batchState; }
    int LastFailure() const { return m_lastFailure; }
    uint32_t TotalFilesAltered() const { return m_totalAltered; }
    // A catalogued package, or nullptr.
    const PatchPackage* FindPackage(const std::string& name) const;
    size_t QueuedCount() const { return m_priorityQueue.size() + m_normalQueue.size(); }

protected:
    // Notifications to the owner; the base versions do nothing. Paths are relative to the
    // install directory unless absolute paths are kept.
    virtual void OnBatchPatchSuccessful(uint32_t filesAltered) {}
    virtual void OnBatchPatchFailed(int failure) {}
    virtual void OnBatchStopped() {}
    virtual void OnPackageStarted(const std::string& package) {}
    virtual void OnPackageProgress(const std::string& package, int percent) {}
    virtual void OnPackageCompleted(const std::string& package, uint32_t filesAltered, uint64_t bytesDownloaded,
                                    uint64_t bytesSaved) {}
    virtual void OnPackageFailed(const std::string& package, int failure, uint64_t bytesDownloaded,
                                 uint64_t bytesSaved) {}
    virtual void OnFileStarted(const std::string& path) {}
    virtual void OnFileUnchanged(const std::string& path) {}
    virtual void OnFileProgress(const std::string& path, int percent) {}
    virtual void OnFileChanged(const std::string& path) {}
    virtual void OnFileRetried(const std::string& path, uint32_t failures) {}

    // The patcher's notifications.
    void OnFileSkipped(const std::string& path) override { OnFileUnchanged(ReportedPath(path)); }
    void OnFileDownloadStarted(const std::string& path) override { OnFileStarted(ReportedPath(path)); }
    void OnFileUpToDate(const std::string& path) override { OnFileUnchanged(ReportedPath(path)); }
    void OnFileUpdated(const std::string& path) override { OnFileChanged(ReportedPath(path)); }
    void OnFileRetry(const std::string& path, uint32_t failures) override {
        OnFileRetried(ReportedPath(path), failures);
    }
    void OnFileProgress(const std::string& path, uint32_t percent) override {
        OnFileProgress(ReportedPath(path), static_cast<int>(percent));
    }
    void OnTotalProgress(int percent) override;
    void OnPatchCompleted(uint32_t filesAltered, uint64_t bytesDownloaded, uint64_t bytesSaved) override;
    void OnPatchFailed(int failure, uint64_t bytesDownloaded, uint64_t bytesSaved) override;
    void OnPatcherStopped() override;

private:
    // The path as the owner is told: relative to the install directory unless kept absolute.
    // Kept in a member the notification borrows, so reporting a file allocates nothing.
    const std::string& ReportedPath(const std::string& path);
    void Enqueue(const PatchPackageRef& package, int priority);
    void RunStep(BatchStep step);
    const std::string& CurrentName() const;

    BatchState m_batchState = BS_Uninitialized;
    std::string m_installDirectory;
    std::string m_dataRootPath;
    std::string m_cacheDirectory;
    std::string m_host;
    uint16_t m_port = 0;
    bool m_keepAbsolutePaths = false;
    std::map<std::string, PatchPackageRef> m_catalogue;
    std::deque<PatchPackageRef> m_priorityQueue;
    std::deque<PatchPackageRef> m_normalQueue;
    PatchPackageRef m_current;
    int m_lastFailure = 0;
    uint32_t m_totalAltered = 0;
    PostedSteps<BatchStep> m_steps;
    std::string m_reported;
};

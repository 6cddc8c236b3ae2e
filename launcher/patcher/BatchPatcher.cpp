#include "BatchPatcher.h"

#include "LogMessage.h"
#include "OsFile.h"

BatchPatcher::BatchPatcher()
    : Patcher(1, kServerReplyTimeoutMs, kInternetTimeoutMs),
      m_steps([this](const BatchStep& step) { RunStep(step); }, "BatchPatcher::RunStep") {}

BatchPatcher::~BatchPatcher() = default;

bool BatchPatcher::Initialize(const std::string& installDirectory, const std::string& dataRootPath,
                              const std::string& cacheDirectory, const std::string& host, uint16_t port,
                              bool keepAbsolutePaths) {
    if (m_batchState == BS_Running) {
        HY_LOG(LL_Warning, kPatchCategory, "BatchPatcher::Initialize", "BatchPatcher::Initialize: Wrong state");
        return false;
    }
    m_installDirectory = installDirectory;
    m_dataRootPath = dataRootPath;
    m_cacheDirectory = cacheDirectory;
    m_host = host;
    m_port = port;
    m_keepAbsolutePaths = keepAbsolutePaths;
    if (!cacheDirectory.empty() && !HY_OS::IsDirectory(cacheDirectory) && !HY_OS::CreateDirectories(cacheDirectory)) {
        HY_LOG(LL_Error, kPatchCategory, "BatchPatcher::Initialize", "BatchPatcher::Initialize: Unable to create dir (%s)",
               cacheDirectory.c_str());
        return false;
    }
    m_batchState = BS_Ready;
    return true;
}

bool BatchPatcher::Reset() {
    if (m_batchState == BS_Running) {
        HY_LOG(LL_Warning, kPatchCategory, "BatchPatcher::Reset", "BatchPatcher::Reset: Wrong state");
        return false;
    }
    m_priorityQueue.clear();
    m_normalQueue.clear();
    m_catalogue.clear();
    return true;
}

void BatchPatcher::Enqueue(const PatchPackageRef& package, int priority) {
    package->priority = priority;
    auto remove = [&](std::deque<PatchPackageRef>& queue) {
        for (auto it = queue.begin(); it != queue.end();) it = *it == package ? queue.erase(it) : it + 1;
    };
    remove(m_priorityQueue);
    remove(m_normalQueue);
    (priority != 0 ? m_priorityQueue : m_normalQueue).push_back(package);
    package->state = PKG_Queued;
}

PackageState BatchPatcher::AddPackage(const std::string& name, int priority, bool required, bool* known) {
    auto it = m_catalogue.find(name);
    bool wasKnown = it != m_catalogue.end();
    if (known) *known = wasKnown;
    PatchPackageRef package;
    if (wasKnown) {
        package = it->second;
        if (required) package->required = true;
    } else {
        package = std::make_shared<PatchPackage>();
        package->name = name;
        package->priority = priority;
        package->required = required;
        m_catalogue.emplace(name, package);
    }
    if (package->state == PKG_New || package->state == PKG_NeedsCheck || package->state == PKG_Queued)
        Enqueue(package, priority);
    return package->state;
}

bool BatchPatcher::LoadPackagesFromFile(const std::string& path, bool required, bool queue, int minimumPriority) {
    std::string text;
    if (!HY_OS::ReadWholeFile(path, text)) {
        HY_LOG(LL_Warning, kPatchCategory, "BatchPatcher::LoadPackages", "BatchPatcher::LoadPackages: Fail to open file");
        return false;
    }
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        start = end + 1;
        // A line ends at its first CR or LF.
        size_t cr = line.find('\r');
        if (cr != std::string::npos) line.resize(cr);
        int priority = 1;
        // "XXX Name": a three-letter marker; one starting with L marks a package of priority 0.
        if (line.size() >= 5 && line[3] == ' ') {
            priority = line[0] == 'L' ? 0 : 1;
            line.erase(0, 4);
        }
        if (line.empty()) continue;
        auto it = m_catalogue.find(line);
        PatchPackageRef package;
        if (it != m_catalogue.end()) {
            package = it->second;
            package->priority = priority;
            if (required) package->required = true;
        } else {
            package = std::make_shared<PatchPackage>();
            package->name = line;
            package->priority = priority;
            package->required = required;
            m_catalogue.emplace(line, package);
        }
        if (queue && priority >= minimumPriority &&
            (package->state == PKG_New || package->state == PKG_NeedsCheck || package->state == PKG_Queued))
            Enqueue(package, priority);
    }
    return true;
}

bool BatchPatcher::Start() {
    if (m_batchState != BS_Ready) {
        HY_LOG(LL_Warning, kPatchCategory, "BatchPatcher::Start", "BatchPatcher::Start: Wrong state");
        return false;
    }
    m_lastFailure = 0;
    m_totalAltered = 0;
    if (!m_priorityQueue.empty() || !m_normalQueue.empty()) {
        m_steps.Post(BST_NextPackage);
        m_batchState = BS_Running;
    } else {
        m_steps.Post(BST_Succeeded);
    }
    return true;
}

bool BatchPatcher::Stop() {
    switch (m_batchState) {
        case BS_Uninitialized: return false;
        case BS_Ready: OnBatchStopped(); return true;
        case BS_Running:
            StopPatcher();
            m_batchState = BS_Stopping;
            return true;
        default: return true;
    }
}

const PatchPackage* BatchPatcher::FindPackage(const std::string& name) const {
    auto it = m_catalogue.find(name);
    return it == m_catalogue.end() ? nullptr : it->second.get();
}

const std::string& BatchPatcher::CurrentName() const {
    static const std::string kNone;
    return m_current ? m_current->name : kNone;
}

const std::string& BatchPatcher::ReportedPath(const std::string& path) {
    if (m_keepAbsolutePaths || path.compare(0, InstallDirectory().size(), InstallDirectory()) != 0) return path;
    m_reported.assign(path, InstallDirectory().size());
    return m_reported;
}

void BatchPatcher::RunStep(BatchStep step) {
    switch (step) {
        case BST_NextPackage: {
            std::deque<PatchPackageRef>& queue = m_priorityQueue.empty() ? m_normalQueue : m_priorityQueue;
            if (queue.empty()) {
                m_steps.Post(BST_Succeeded);
                return;
            }
            m_current = queue.front();
            queue.pop_front();
            m_current->state = PKG_Patching;
            if (StartPatcher(m_current->name, m_installDirectory, m_dataRootPath, m_host, m_port, kRetryDelayMs,
                             kRetryLimit, m_cacheDirectory) != 0) {
                m_lastFailure = PF_FileDownloadFailed;
                m_steps.Post(BST_Failed);
                return;
            }
            OnPackageStarted(m_current->name);
            return;
        }
        case BST_Succeeded:
            m_batchState = BS_Ready;
            OnBatchPatchSuccessful(m_totalAltered);
            return;
        case BST_Failed:
            m_batchState = BS_Ready;
            OnBatchPatchFailed(m_lastFailure);
            return;
    }
}

void BatchPatcher::OnTotalProgress(int percent) { OnPackageProgress(CurrentName(), percent); }

void BatchPatcher::OnPatchCompleted(uint32_t filesAltered, uint64_t bytesDownloaded, uint64_t bytesSaved) {
    m_totalAltered += filesAltered;
    m_lastFailure = 0;
    if (m_current) {
        m_current->state = PKG_Current;
    } else {
        HY_LOG(LL_Status, kPatchCategory, "BatchPatcher::OnPatchCompleted", "BatchPatcher::OnPatchCompleted missing current pkg");
    }
    OnPackageCompleted(CurrentName(), filesAltered, bytesDownloaded, bytesSaved);
}

void BatchPatcher::OnPatchFailed(int failure, uint64_t bytesDownloaded, uint64_t bytesSaved) {
    m_lastFailure = failure;
    if (m_current) {
        m_current->state = failure == PF_UnknownPackage ? PKG_NotInList : PKG_NeedsCheck;
    } else {
        HY_LOG(LL_Status, kPatchCategory, "BatchPatcher::OnPatchFailed", "BatchPatcher::OnPatchFailed missing current pkg");
    }
    OnPackageFailed(CurrentName(), failure, bytesDownloaded, bytesSaved);
}

void BatchPatcher::OnPatcherStopped() {
    if (m_batchState == BS_Stopping) {
        m_current.reset();
        m_batchState = BS_Ready;
        OnBatchStopped();
        return;
    }
    if (m_lastFailure == 0) {
        m_steps.Post(BST_NextPackage);
    } else if ((m_current && m_current->required) || m_lastFailure != PF_UnknownPackage) {
        m_steps.Post(BST_Failed);
    } else {
        HY_LOG(LL_Warning, kPatchCategory, "BatchPatcher::OnPatcherStopped",
               "BatchPatcher::OnPatcherStopped: Pkg %s not in latest file list", CurrentName().c_str());
        m_steps.Post(BST_NextPackage);
    }
    if (!m_current)
        HY_LOG(LL_Status, kPatchCategory, "BatchPatcher::OnPatcherStopped", "BatchPatcher::OnPatcherStopped missing current pkg");
    m_current.reset();
}

#include "patcher_test_support.h"

#include <gtest/gtest.h>


#include "Crc.h"
#include "DMLTableFileWriter.h"
#include "HYTcpListener.h"
#include "MessageManager.h"
#include "OsEnv.h"
#include "PackageFile.h"

namespace patchtest {

void LoadModules() {
    for (const char* module : {"BaseMessages", "ExtendedBaseMessages", "PatchMessages"})
        ASSERT_TRUE(MessageManager::GetSingleton().LoadMessageModule(HY_DATA_SOURCE_DIR, module));
}

void RunOnWorker(const std::function<void()>& body) {
    LoadModules();
    HY_OS::SetEnv("HY_HOSTNAME", "localhost");
    hytest::RunOnWorker(body, "PatcherTest");
}

PatchRepo::PatchRepo() : m_list(std::make_unique<DMLDatabase>("LatestFileList")) {}

void PatchRepo::SetPackage(const std::string& name, const std::vector<RepoFile>& files) {
    m_list->MakeTable(name, false)->Clear();
    for (const RepoFile& file : files) AddFile(name, file);
    Publish(listType);
}

void PatchRepo::AddFile(const std::string& package, RepoFile file) {
    DMLRecord& r = m_list->MakeTable(package, false)->AppendRecord();
    r.GetField("SrcFileName").SetValue(std::string_view(file.src));
    r.GetField("TarFileName").SetValue(std::string_view(file.tar));
    r.GetField("FileType").SetValue(file.fileType);
    r.GetField("Size").SetValue(static_cast<uint32_t>(file.content.size()));
    r.GetField("CRC").SetValue(Crc(file.content));
    std::string path = "/files/" + file.src;
    std::string served;
    if (file.fileType == PFT_Compressed) {
        served = Gzip(file.content);
        path += ".gz";
    } else {
        served = std::move(file.content);
    }
    // The compressed engine needs the size of the download.
    r.GetField("HeaderSize").SetValue(static_cast<uint32_t>(file.fileType == PFT_Compressed ? served.size() : 0));
    r.GetField("CompressedHeaderSize").SetValue(uint32_t{0});
    r.GetField("HeaderCRC").SetValue(uint32_t{0});
    http.SetFile(path, std::move(served));
}

DMLRecord& PatchRepo::AddRawRecord(const std::string& package) { return m_list->MakeTable(package, false)->AppendRecord(); }

void PatchRepo::Publish(uint32_t type) {
    DMLTable* about = m_list->MakeTable("About", false);
    about->Clear();
    about->AppendRecord().GetField("Version").SetValue(version);
    std::string bytes;
    if (type == 1) {
        bytes = WriteXmlTableFile(*m_list, true);
    } else {
        EXPECT_TRUE(WriteBinaryTableFile(*m_list, bytes));
    }
    PublishRawList(bytes, type);
}

void PatchRepo::PublishRawList(const std::string& bytes, uint32_t type) {
    listType = type;
    listName = type == 1 ? "LatestFileList.xml" : "LatestFileList.bin";
    listBytes = bytes;
    http.SetFile("/lists/" + listName, bytes);
}

void PatchRepo::FillReply(DMLRecord& reply) const {
    reply.GetField("Locale").SetValue(std::string_view("English"));
    reply.GetField("URLPrefix").SetValue(std::string_view(http.Url("/files")));
    reply.GetField("URLSuffix").SetValue(std::string_view(urlSuffix));
    reply.GetField("ListFileName").SetValue(std::string_view(listName));
    reply.GetField("ListFileURL").SetValue(std::string_view(http.Url("/lists/" + listName)));
    reply.GetField("ListFileSize").SetValue(static_cast<uint32_t>(listBytes.size()));
    reply.GetField("ListFileCRC").SetValue(Crc(listBytes));
    reply.GetField("LatestVersion").SetValue(version);
    reply.GetField("ListFileType").SetValue(listType);
    if (editReply) editReply(reply);
}

std::unique_ptr<ScriptedServer> ServeRepo(PatchRepo& repo) {
    return std::make_unique<ScriptedServer>([&repo](ScriptedSession& session, DMLRecord&) {
        DMLRecord reply = logintest::MakeReply("MSG_LATEST_FILE_LIST_V2");
        repo.FillReply(reply);
        session.Reply(reply);
    });
}

RecordingBatch::RecordingBatch() { SetLocale("English"); }

bool RecordingBatch::Setup(const std::string& install, uint16_t port, const std::string& cache) {
    return Initialize(install, HY_DATA_SOURCE_DIR, cache.empty() ? install + "PatchInfo/" : cache, "127.0.0.1",
                      port, false);
}

bool RecordingBatch::PatchPackage(const std::string& install, uint16_t port, const std::string& package) {
    if (!Setup(install, port)) return false;
    AddPackage(package, 1, true);
    return RunBatch();
}

bool RecordingBatch::RunBatch(uint32_t limitMs) {
    finished = false;
    if (!Start()) return false;
    return PumpUntil([&] { return finished; }, limitMs);
}

size_t RecordingBatch::Count(const std::string& prefix) const {
    size_t n = 0;
    for (const auto& e : events) n += e.compare(0, prefix.size(), prefix) == 0;
    return n;
}

bool RecordingBatch::Has(const std::string& line) const {
    for (const auto& e : events)
        if (e == line) return true;
    return false;
}

int RecordingBatch::StartHttpClient() {
    if (httpStartsAllowed == 0) return 1;
    if (httpStartsAllowed > 0) --httpStartsAllowed;
    return BatchPatcher::StartHttpClient();
}

void RecordingBatch::OnBatchPatchSuccessful(uint32_t filesAltered) {
    events.push_back("batch-ok:" + std::to_string(filesAltered));
    batchFailure = 0;
    finished = true;
}

void RecordingBatch::OnBatchPatchFailed(int failure) {
    events.push_back("batch-failed:" + std::to_string(failure));
    batchFailure = failure;
    finished = true;
}

void RecordingBatch::OnBatchStopped() {
    events.push_back("batch-stopped");
    finished = true;
}

void RecordingBatch::OnPackageStarted(const std::string& package) { events.push_back("package:" + package); }

void RecordingBatch::OnPackageCompleted(const std::string& package, uint32_t filesAltered, uint64_t bytesDownloaded,
                                        uint64_t bytesSaved) {
    events.push_back("completed:" + package);
    outcomes.push_back({package, 0, filesAltered, bytesDownloaded, bytesSaved});
}

void RecordingBatch::OnPackageFailed(const std::string& package, int failure, uint64_t bytesDownloaded,
                                     uint64_t bytesSaved) {
    events.push_back("failed:" + package + ":" + std::to_string(failure));
    outcomes.push_back({package, failure, 0, bytesDownloaded, bytesSaved});
}

void RecordingBatch::OnFileStarted(const std::string& path) { events.push_back("started:" + path); }
void RecordingBatch::OnFileUnchanged(const std::string& path) { events.push_back("unchanged:" + path); }
void RecordingBatch::OnFileChanged(const std::string& path) { events.push_back("changed:" + path); }
void RecordingBatch::OnFileRetried(const std::string& path, uint32_t failures) {
    events.push_back("retried:" + path + ":" + std::to_string(failures));
}

uint16_t ClosedPort() {
    HYTcpListener listener;
    listener.Listen(HYInetAddress(INADDR_LOOPBACK, 0), [](std::unique_ptr<HYTcpSocket>) {});
    return listener.LocalAddress().Port();
}

}  // namespace patchtest

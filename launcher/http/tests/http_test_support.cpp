#include "http_test_support.h"

#include <zlib.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <thread>

#include "Crc.h"
#include "HYThread.h"
#include "datalayer_test_support.h"

RecordingClient::RecordingClient() : HYHttpFileClient(1) {
    Init("Halcyra Patcher", 0, 10000, 10000);
}

void RecordingClient::OnDownloadStarted(const std::string&, const std::string& localPath, uint32_t) {
    m_notes.push_back({"started", localPath});
    if (m_onStarted) m_onStarted();
}

void RecordingClient::OnFileCurrent(const std::string&, const std::string& localPath, uint32_t size,
                                    uint32_t crc, uint64_t lastWriteTime, uint32_t) {
    Notification n{"current", localPath};
    n.bytesDone = size;
    n.crc = crc;
    n.lastWriteTime = lastWriteTime;
    m_notes.push_back(n);
}

int RecordingClient::OnRetryQuery(const std::string&, const std::string& localPath, uint32_t bytesDone,
                                  uint32_t, uint32_t) {
    Notification n{"retry", localPath};
    n.bytesDone = bytesDone;
    m_notes.push_back(n);
    return RA_Drop;
}

void RecordingClient::OnFileDownloaded(const std::string&, const std::string& localPath, uint32_t,
                                       uint32_t bytesDone, uint32_t crc, uint32_t bytesTransferred,
                                       uint64_t lastWriteTime, uint32_t) {
    Notification n{"downloaded", localPath};
    n.bytesDone = bytesDone;
    n.crc = crc;
    n.bytesTransferred = bytesTransferred;
    n.lastWriteTime = lastWriteTime;
    m_notes.push_back(n);
}

int RecordingClient::OnFileDownloadFailed(DownloadFailure failure, const std::string&,
                                          const std::string& localPath, uint32_t) {
    Notification n{"failed", localPath};
    n.failure = failure;
    m_notes.push_back(n);
    if (m_onFailure) m_onFailure();
    if (m_answers.empty()) return RA_Drop;
    int answer = m_answers.front();
    m_answers.erase(m_answers.begin());
    return answer;
}

void RecordingClient::OnAllFilesProcessed() {
    ++m_allProcessed;
    m_notes.push_back({"all", ""});
}

bool RecordingClient::RunUntilAllProcessed(int timeoutMs) {
    int before = m_allProcessed;
    return PumpUntil([&] { return m_allProcessed > before; }, timeoutMs);
}

void RecordingClient::Download(const std::string& url, const std::string& localPath, uint32_t type,
                               uint32_t size, uint32_t crc, uint32_t headerSize,
                               uint32_t compressedHeaderSize, uint32_t headerCrc, bool force,
                               bool validate) {
    AddFile(url, localPath, type, 7, size, crc, headerSize, compressedHeaderSize, headerCrc, force, validate);
    if (State() != HCS_Running) Start();
}

const Notification* RecordingClient::Last(const std::string& what) const {
    for (auto it = m_notes.rbegin(); it != m_notes.rend(); ++it)
        if (it->what == what) return &*it;
    return nullptr;
}

size_t RecordingClient::Count(const std::string& what) const {
    size_t n = 0;
    for (const auto& note : m_notes) n += note.what == what;
    return n;
}

bool PumpUntil(const std::function<bool()>& done, int timeoutMs) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    HYThread* thread = HYThread::Current();
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        thread->RunOnce(false, true);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

std::string RandomBytes(size_t size, uint32_t seed) {
    std::mt19937 generator(seed);
    std::string out(size, '\0');
    for (char& c : out) c = static_cast<char>(generator() & 0xFF);
    return out;
}

std::string Gzip(const std::string& data) {
    z_stream stream{};
    deflateInit2(&stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY);
    std::string out(deflateBound(&stream, static_cast<uLong>(data.size())) + 64, '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    stream.avail_in = static_cast<uInt>(data.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = static_cast<uInt>(out.size());
    deflate(&stream, Z_FINISH);
    out.resize(stream.total_out);
    deflateEnd(&stream);
    return out;
}

uint32_t Crc(const std::string& data) { return CrcUpdate(0, data.data(), data.size()); }

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

void WriteFile(const std::string& path, const std::string& content) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream out(path, std::ios::binary);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
}

bool Exists(const std::string& path) { return std::filesystem::exists(path); }

std::string UnresolvableHost() { return std::string(70, 'a') + ".invalid"; }

bool LogHas(const CapturingReactor& log, const std::string& part) {
    for (const std::string& text : log.Texts())
        if (text.find(part) != std::string::npos) return true;
    return false;
}

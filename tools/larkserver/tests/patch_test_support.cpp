#include "patch_test_support.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "LoginServer.h"
#include "MessageManager.h"
#include "OsFile.h"
#include "PatchServer.h"
#include "WadWriter.h"
#include "WorkerPump.h"

namespace patchtest {

void LoadModules() {
    ASSERT_TRUE(LoginServer::LoadMessageModules(HY_DATA_SOURCE_DIR));
    ASSERT_TRUE(PatchServer::LoadMessageModules(HY_DATA_SOURCE_DIR));
}

namespace {

std::string Bytes(size_t size, uint32_t seed) {
    std::string out(size, '\0');
    for (char& c : out) {
        seed = seed * 1103515245u + 12345u;
        c = static_cast<char>(seed >> 16);
    }
    return out;
}

}  // namespace

PublishedRepository::PublishedRepository(const std::string& locale) : repo(dir / "repo") {
    LoadModules();
    WadWriter wad;
    for (int i = 0; i < 8; ++i)
        wad.Add("element" + std::to_string(i), Bytes(6000 + static_cast<size_t>(i) * 100, 10 + i),
                i % 2 == 0);
    std::string archive;
    wad.Build(archive);
    build = {{"Game.exe", Bytes(150000, 1)},
             {"Data/Text.txt", std::string(60000, 't') + "end"},
             {"Data/Root.wad", archive}};
    for (const auto& [path, content] : build) {
        HY_OS::CreateDirectories(HY_OS::DirectoryPart(dir / ("build/" + path)));
        HY_OS::WriteFileAtomic(dir / ("build/" + path), content);
    }
    HY_OS::WriteFileAtomic(
        dir / "manifest.txt",
        "package Base required\nplain Game.exe\ngzip Data/Text.txt\nwad Data/Root.wad\n");
    options.buildFolder = dir / "build";
    options.manifestPath = dir / "manifest.txt";
    options.repository = repo;
    options.locales = {locale};
    result = Publish();
}

larkpublish::PublishResult PublishedRepository::Publish() {
    for (const auto& [path, content] : build)
        HY_OS::WriteFileAtomic(dir / ("build/" + path), content);
    larkpublish::PublishResult published;
    std::string error;
    EXPECT_TRUE(larkpublish::Publish(options, published, error)) << error;
    return published;
}

const larkpublish::PublishedFile& PublishedRepository::File(const std::string& target) const {
    for (const auto& file : result.files)
        if (file.tarFileName == target) return file;
    ADD_FAILURE() << "no published file " << target;
    return result.files.front();
}

bool ListClient::Ask(uint16_t port) {
    SetServer("127.0.0.1", port);
    if (!StartConnect(5000)) return false;
    return hytest::PumpUntil([&] { return reply || closed; }, 20000);
}

void ListClient::AppSessionEstablished() {
    if (!rawRequest.empty()) {
        SendMessage(rawRequest.data(), static_cast<uint32_t>(rawRequest.size()));
        return;
    }
    MessageManager& messages = MessageManager::GetSingleton();
    DMLRecord request;
    messages.PrepMessage(request, "MSG_LATEST_FILE_LIST_V2");
    request.GetField("Locale").SetValue(std::string_view(m_locale));
    request.GetField("ListFileSize").SetValue(m_attempt);
    std::string bytes = messages.MessageToBinary(request);
    SendMessage(bytes.data(), static_cast<uint32_t>(bytes.size()));
}

bool ListClient::AppProcessMessage(const MsgBufferRef& buffer) {
    auto record = std::make_unique<DMLRecord>();
    if (MessageManager::GetSingleton().MessageFromBinary(*record, buffer->Data(), buffer->Length(),
                                                         255) < 0)
        return false;
    reply = std::move(record);
    return true;
}

RawHttp::RawHttp(uint16_t port) {
    m_fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    timeval limit{20, 0};
    if (m_fd >= 0) ::setsockopt(m_fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    if (m_fd >= 0 && ::connect(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}

RawHttp::~RawHttp() {
    if (m_fd >= 0) ::close(m_fd);
}

int RawHttp::Exchange(const std::string& request, std::string* body, std::string* headers) {
    if (m_fd < 0 || ::send(m_fd, request.data(), request.size(), MSG_NOSIGNAL) !=
                        static_cast<ssize_t>(request.size()))
        return -1;
    auto fill = [&]() {
        char block[65536];
        ssize_t n = ::recv(m_fd, block, sizeof block, 0);
        if (n <= 0) return false;
        m_pending.append(block, static_cast<size_t>(n));
        return true;
    };
    size_t end;
    while ((end = m_pending.find("\r\n\r\n")) == std::string::npos)
        if (!fill()) return -1;
    std::string head = m_pending.substr(0, end + 2);
    m_pending.erase(0, end + 4);
    size_t length = 0;
    size_t at = head.find("Content-Length: ");
    if (at != std::string::npos) length = std::stoul(head.substr(at + 16));
    bool isHead = request.rfind("HEAD ", 0) == 0;
    if (!isHead)
        while (m_pending.size() < length)
            if (!fill()) return -1;
    if (body) *body = isHead ? std::string() : m_pending.substr(0, length);
    if (!isHead) m_pending.erase(0, length);
    if (headers) *headers = head;
    return head.size() > 12 ? std::atoi(head.c_str() + 9) : -1;
}

}  // namespace patchtest

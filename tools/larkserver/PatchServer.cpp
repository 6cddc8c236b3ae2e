#include "PatchServer.h"

#include "LogMessage.h"
#include "MessageManager.h"
#include "OsFile.h"
#include "PublishFiles.h"

namespace {

constexpr const char* kCategory = "LARKSERVER";
constexpr const char* kListRequest = "MSG_LATEST_FILE_LIST_V2";

}  // namespace

PatchServer::PatchServer(std::string repository, std::string urlBase, std::string urlSuffix)
    : m_repository(std::move(repository)),
      m_urlBase(std::move(urlBase)),
      m_urlSuffix(std::move(urlSuffix)),
      m_server([this] {
          return std::make_unique<MessageSession>(
              [this](MessageSession& session, const uint8_t* data, uint32_t length) {
                  return OnMessage(session, data, length);
              });
      }) {}

PatchServer::~PatchServer() { m_server.Stop(); }

bool PatchServer::LoadMessageModules(const std::string& dataDirectory) {
    MessageManager& messages = MessageManager::GetSingleton();
    for (const char* module : {"BaseMessages", "ExtendedBaseMessages", "PatchMessages"})
        if (!messages.LoadMessageModule(dataDirectory, module)) return false;
    return true;
}

bool PatchServer::LoadRepository(std::string& error) {
    m_loadedStamp = -1;
    return Refresh(error);
}

bool PatchServer::Refresh(std::string& error) {
    std::string infoPath = HY_OS::JoinPath(m_repository, larkpublish::kRepositoryFile);
    int64_t stamp = HY_OS::LastWriteTimeMs(infoPath);
    int64_t length = HY_OS::FileLength(infoPath);
    if (stamp >= 0 && stamp == m_loadedStamp && length == m_loadedLength) return true;
    larkpublish::RepositoryInfo info;
    if (!larkpublish::LoadRepositoryInfo(m_repository, info, error)) return false;
    int64_t listLength = 0;
    uint32_t listCrc = 0;
    std::string listPath = HY_OS::JoinPath(m_repository, info.ListPath());
    if (!larkpublish::FileLengthAndCrc(listPath, listLength, listCrc) || listLength > UINT32_MAX) {
        error = "cannot read the list " + listPath;
        return false;
    }
    m_info = std::move(info);
    m_listSize = static_cast<uint32_t>(listLength);
    m_listCrc = listCrc;
    m_loadedStamp = stamp;
    m_loadedLength = length;
    HY_LOG(LL_Status, kCategory, "PatchServer::Refresh",
           "Serving %s version %u (%u bytes, CRC %08X)", m_info.ListFileName().c_str(),
           m_info.version, m_listSize, m_listCrc);
    return true;
}

int PatchServer::Listen(const HYInetAddress& address) { return m_server.Listen(address); }

bool PatchServer::OnMessage(ServerSession& session, const uint8_t* data, uint32_t length) {
    ++m_requests;
    DMLRecord request;
    int used = 0;
    std::string name = DecodeRequest(data, length, request, used);
    if (name != kListRequest) {
        ++m_malformed;
        HY_LOG(LL_Warning, kCategory, "PatchServer::OnMessage",
               "Closing the connection from %s: the message is not a list request (%d)",
               session.Record().peer.c_str(), used);
        return false;
    }
    std::string error;
    if (!Refresh(error)) {
        HY_LOG(LL_Error, kCategory, "PatchServer::OnMessage",
               "Closing the connection from %s: the repository cannot be served: %s",
               session.Record().peer.c_str(), error.c_str());
        return false;
    }
    std::string locale = TextField(request, "Locale");
    const DMLField* attempt = request.FindField("ListFileSize");
    DMLRecord reply;
    MessageManager::GetSingleton().PrepMessage(reply, kListRequest);
    if (!m_info.ServesLocale(locale)) {
        HY_LOG(LL_Status, kCategory, "PatchServer::OnMessage",
               "List request %u from %s for the locale '%s', which is not served",
               attempt ? attempt->GetUInt() : 0u, session.Record().peer.c_str(), locale.c_str());
        reply.GetField("Locale").SetValue(kUnsupportedLocale);
    } else {
        HY_LOG(LL_Status, kCategory, "PatchServer::OnMessage",
               "List request %u from %s (%s): version %u", attempt ? attempt->GetUInt() : 0u,
               session.Record().peer.c_str(), locale.c_str(), m_info.version);
        reply.GetField("Locale").SetValue(std::string_view(locale));
        reply.GetField("URLPrefix").SetValue(std::string_view(m_urlBase));
        reply.GetField("URLSuffix").SetValue(std::string_view(m_urlSuffix));
        reply.GetField("ListFileName").SetValue(std::string_view(m_info.ListFileName()));
        reply.GetField("ListFileURL")
            .SetValue(std::string_view(m_urlBase + "/" + m_info.ListPath() + m_urlSuffix));
        reply.GetField("ListFileSize").SetValue(m_listSize);
        reply.GetField("ListFileCRC").SetValue(m_listCrc);
        reply.GetField("LatestVersion").SetValue(m_info.version);
        reply.GetField("ListFileType").SetValue(m_info.listType);
    }
    if (!SendReply(session, reply))
        HY_LOG(LL_Warning, kCategory, "PatchServer::OnMessage", "Could not send the reply to %s",
               session.Record().peer.c_str());
    return true;
}

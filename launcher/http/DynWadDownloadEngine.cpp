#include "DynWadDownloadEngine.h"

#include "OsFile.h"
#include "LogMessage.h"

DynWadDownloadEngine::DynWadDownloadEngine(EngineHost& host)
    : WadUpdateEngine(host) {}

int DynWadDownloadEngine::FetchElement(const WadElement& element) { return WriteEmptyWadElement(element); }

int DynWadDownloadEngine::WriteEmptyWadElement(const WadElement& element) {
    uint32_t remaining = element.PackedSize();
    if (remaining > 0 && m_zeroBlock.empty()) m_zeroBlock.assign(kBlockSize, 0);
    while (remaining > 0) {
        size_t n = std::min<size_t>(remaining, m_zeroBlock.size());
        if (!m_file.WriteAt(m_zeroBlock.data(), n, m_writePosition)) {
            int error = HY_OS::LastSystemError();
            HY_LOG(LL_Error, kHttpFileCategory, "DynWadDownloadEngine::WriteEmptyWadElement",
                   "Error %u; Writing empty WAD element to file (%s)", static_cast<unsigned>(error),
                   TemporaryPath().c_str());
            return ClassOfSystemError(error);
        }
        m_writePosition += static_cast<int64_t>(n);
        remaining -= static_cast<uint32_t>(n);
    }
    m_request->m_bytesDone = static_cast<uint32_t>(m_writePosition);
    return EC_Ok;
}

int DynWadDownloadEngine::FinishArchive(bool& done) {
    const char* fn = "DynWadDownloadEngine::WriteWadBody";
    FileRequest& request = *m_request;
    done = false;
    if (!m_file.Truncate(m_writePosition) || !m_file.Sync()) {
        int error = HY_OS::LastSystemError();
        HY_LOG(LL_Error, kHttpFileCategory, fn, "Error %u; Unable to cut (%s).",
               static_cast<unsigned>(error), TemporaryPath().c_str());
        return ClassOfSystemError(error);
    }
    // The list goes in place before the archive: with the old archive it can only mark elements
    // stale that are real (their position, size and CRC differ), never the other way round.
    if (!WriteUtdFile(request.m_localPath + ".utd", m_validElements, true, fn)) return EC_FileError;
    int result = InstallArchive("Error %u; Copying completed file over old file failed (%s)");
    if (result == EC_Ok) done = true;
    return result;
}

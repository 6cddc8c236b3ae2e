#include "WadUpdateEngine.h"

#include <sys/stat.h>
#include <zlib.h>

#include <cstring>

#include "OsFile.h"
#include "Crc.h"
#include "InstallPermissions.h"
#include "LogMessage.h"
#include "WadSource.h"

namespace {

constexpr size_t kUnpackBlock = 8192;

void PutU32(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
    p[2] = static_cast<uint8_t>(v >> 16);
    p[3] = static_cast<uint8_t>(v >> 24);
}

struct GzReader {
    gzFile file = nullptr;
    ~GzReader() {
        if (file) gzclose(file);
    }
};

std::string ReplaceAll(std::string text, const std::string& from, const std::string& to) {
    size_t at = 0;
    while ((at = text.find(from, at)) != std::string::npos) {
        text.replace(at, from.size(), to);
        at += to.size();
    }
    return text;
}

}  // namespace

bool WriteUtdFile(const std::string& path, const std::vector<UtdRecord>& records, bool withError,
                  const char* function) {
    std::string temporary = path + ".tmp";
    int error = 0;
    HY_OS::File file = HY_OS::File::Open(temporary, HY_OS::FileMode::CreateWrite, &error);
    if (!file.IsOpen()) {
        if (withError)
            HY_LOG(LL_Error, kHttpFileCategory, function, "Error %u; Unable to open (%s).",
                   static_cast<unsigned>(error), temporary.c_str());
        else
            HY_LOG(LL_Error, kHttpFileCategory, function, "Unable to open (%s).", temporary.c_str());
        return false;
    }
    std::vector<uint8_t> bytes(records.size() * 16);
    for (size_t i = 0; i < records.size(); ++i) {
        uint8_t* p = bytes.data() + i * 16;
        PutU32(p, 0);
        PutU32(p + 4, records[i].dataPosition);
        PutU32(p + 8, records[i].packedSize);
        PutU32(p + 12, records[i].crc);
    }
    bool written = file.Write(bytes.data(), bytes.size()) && file.Sync();
    error = HY_OS::LastSystemError();
    file.Close();
    if (!written || !HY_OS::RenameFile(temporary, path)) {
        if (withError)
            HY_LOG(LL_Error, kHttpFileCategory, function, "Error %u; Unable to write to (%s).",
                   static_cast<unsigned>(error), path.c_str());
        else
            HY_LOG(LL_Error, kHttpFileCategory, function, "Unable to write to (%s).", path.c_str());
        HY_OS::DeleteFile(temporary);
        return false;
    }
    return true;
}

WadUpdateEngine::WadUpdateEngine(EngineHost& host) : SegDownloadEngine(host) {}

WadUpdateEngine::~WadUpdateEngine() = default;

void WadUpdateEngine::Close() {
    m_headerRequest.reset();
    m_headerFile.Close();
    m_installed.Close();
    m_installedOpen = false;
    CloseHandles();
}

int WadUpdateEngine::Open() {
    Close();
    int result = OpenUrl();
    if (result != EC_Ok) return result;
    FileRequest& request = *m_request;
    std::string temporary = TemporaryPath();
    int error = CreateDirectoriesFor(temporary);
    if (error == 0) {
        struct stat info {};
        if (::stat(temporary.c_str(), &info) == 0 && (info.st_mode & S_IWUSR) == 0)
            ::chmod(temporary.c_str(), info.st_mode | S_IWUSR);
        m_file = HY_OS::File::Open(temporary, HY_OS::FileMode::OpenOrCreate, &error);
    }
    if (!m_file.IsOpen()) {
        HY_LOG(LL_Error, kHttpFileCategory, "WadDownloadEngine::Open",
               "Error %u; Failed to prepare Wad for download (%s)", static_cast<unsigned>(error),
               temporary.c_str());
        return ClassOfSystemError(error);
    }
    m_temporaryLength = m_file.Length();
    m_writePosition = 0;
    request.m_bytesDone = 0;
    m_stepState = SS_RequestHeader;
    m_newWad.reset();
    m_elements.clear();
    m_nextElement = 0;
    m_rangeStart = 0;
    m_rangeLength = 0;
    m_bytesToRead = 0;
    m_validElements.clear();
    m_headerReceived = 0;
    m_headerLogged = false;
    if (m_localWad && m_localWad->ElementCount() > 0) {
        m_installed = HY_OS::File::Open(request.m_localPath, HY_OS::FileMode::Read);
        m_installedOpen = m_installed.IsOpen();
    }
    return EC_Ok;
}

int WadUpdateEngine::Transfer(bool& done) {
    done = false;
    switch (m_stepState) {
        case SS_RequestHeader:
            return RequestWadHeader();
        case SS_DownloadHeader:
            return DownloadWadHeader();
        case SS_Elements:
            if (m_bytesToRead > 0) return DownloadWadBlock();
            if (m_nextElement < m_elements.size()) return ProcessElement();
            return FinishArchive(done);
    }
    return EC_RequestFailed;
}

int WadUpdateEngine::RequestWadHeader() {
    const char* fn = "WadDownloadEngine::RequestWadHeader";
    FileRequest& request = *m_request;
    if (request.m_compressedHeaderSize == 0) {
        HY_LOG(LL_Error, kHttpFileCategory, fn, "RequestWadHeader failed - 0 header size (%s)",
               request.m_localPath.c_str());
        return EC_ReadFailed;
    }
    std::string headerUrl = ReplaceAll(request.m_url, ".wad", ".wad.hdr.gz");
    HY_LOG(LL_Status, kHttpFileCategory, fn, "Requesting Wad Header URL: %s, %10u bytes",
           headerUrl.c_str(), request.m_compressedHeaderSize);
    ParsedUrl parsed;
    if (!ParseUrl(headerUrl, parsed)) {
        HY_LOG(LL_Error, kHttpFileCategory, fn, "WadDownloadEngine: Failed to parse URL %s",
               headerUrl.c_str());
        return EC_RequestFailed;
    }
    uint32_t error = 0;
    m_headerRequest = m_connection ? m_connection->OpenRequest("GET", parsed.path, error) : nullptr;
    if (!m_headerRequest) {
        HY_LOG(LL_Error, kHttpFileCategory, fn, "WadDownloadEngine: HTTP GET failed (%s)",
               headerUrl.c_str());
        return EC_RequestFailed;
    }
    m_headerRequest->SetAbortFlag(m_host.AbortFlag());
    if (!m_headerRequest->Send(error)) {
        HY_LOG(LL_Error, kHttpFileCategory, fn, "Failed to Send HTTP Request (%s). ErrorCode=%u",
               headerUrl.c_str(), error);
        return EC_ReadFailed;
    }
    int status = m_headerRequest->Status();
    if (status < 200 || status >= 300) {
        HY_LOG(LL_Error, kHttpFileCategory, fn, "Wad Header request answered with status %d (%s)",
               status, headerUrl.c_str());
        return EC_ReadFailed;
    }
    std::string headerPath = request.m_localPath + ".hdr.gz";
    int openError = 0;
    m_headerFile = HY_OS::File::Open(headerPath, HY_OS::FileMode::CreateWrite, &openError);
    if (!m_headerFile.IsOpen()) {
        HY_LOG(LL_Error, kHttpFileCategory, fn, "Error %u while opening file '%s'.",
               static_cast<unsigned>(openError), headerPath.c_str());
        return EC_FileError;
    }
    m_headerReceived = 0;
    m_stepState = SS_DownloadHeader;
    return EC_Ok;
}

int WadUpdateEngine::DownloadWadHeader() {
    const char* fn = "WadDownloadEngine::DownloadWadHeader";
    FileRequest& request = *m_request;
    uint32_t total = request.m_compressedHeaderSize;
    if (!m_headerLogged) {
        HY_LOG(LL_Status, kHttpFileCategory, fn, "Downloading %10u bytes for Wad Header", total);
        m_headerLogged = true;
    }
    size_t want = std::min<size_t>(total - m_headerReceived, kBlockSize);
    uint32_t error = 0;
    int64_t n = m_headerRequest->Read(Buffer(), want, error);
    if (n < 0) {
        HY_LOG(LL_Error, kHttpFileCategory, fn, "InternetReadFile failed (%s). ErrorCode=%u",
               request.m_url.c_str(), error);
        return EC_ReadFailed;
    }
    if (n == 0) return EC_ReadFailed;  // the whole compressed header did not arrive
    CountReceived(static_cast<uint64_t>(n));
    if (!m_headerFile.Write(Buffer(), static_cast<size_t>(n))) {
        int writeError = HY_OS::LastSystemError();
        HY_LOG(LL_Error, kHttpFileCategory, fn, "Error %u; Writing download into the file (%s)",
               static_cast<unsigned>(writeError), (request.m_localPath + ".hdr.gz").c_str());
        return ClassOfSystemError(writeError);
    }
    m_headerReceived += static_cast<uint32_t>(n);
    if (m_headerReceived < total) return EC_Ok;
    m_headerFile.Close();
    m_headerRequest.reset();
    return UnpackWadHeader();
}

int WadUpdateEngine::UnpackWadHeader() {
    const char* fn = "WadDownloadEngine::DownloadWadHeader";
    FileRequest& request = *m_request;
    std::string headerPath = request.m_localPath + ".hdr.gz";
    uint32_t crc = 0;
    uint64_t length = 0;
    bool fits = true;
    {
        GzReader reader;
        reader.file = gzopen(headerPath.c_str(), "rb");
        if (!reader.file || gzdirect(reader.file)) {
            HY_LOG(LL_Error, kHttpFileCategory, fn, "Failed to open compressed WAD header.");
            HY_OS::DeleteFile(headerPath);
            return EC_FileError;
        }
        char block[kUnpackBlock];
        for (;;) {
            int n = gzread(reader.file, block, sizeof block);
            if (n < 0) {
                HY_OS::DeleteFile(headerPath);
                return EC_FileError;
            }
            if (n == 0) break;
            // A header that unpacks past its announced size is refused as soon as it does.
            if (length + static_cast<uint64_t>(n) > request.m_headerSize) {
                fits = false;
                break;
            }
            if (!m_file.WriteAt(block, static_cast<size_t>(n), static_cast<int64_t>(length))) {
                int writeError = HY_OS::LastSystemError();
                HY_LOG(LL_Error, kHttpFileCategory, fn, "Error %u; Writing download into the file (%s)",
                       static_cast<unsigned>(writeError), TemporaryPath().c_str());
                HY_OS::DeleteFile(headerPath);
                return ClassOfSystemError(writeError);
            }
            crc = CrcUpdate(crc, block, static_cast<size_t>(n));
            length += static_cast<uint64_t>(n);
        }
        int zerror = Z_OK;
        gzerror(reader.file, &zerror);
        if (fits && zerror != Z_OK && zerror != Z_STREAM_END) {
            HY_OS::DeleteFile(headerPath);
            return EC_FileError;
        }
    }
    HY_OS::DeleteFile(headerPath);
    if (!fits || length != request.m_headerSize ||
        (request.m_headerCrc != 0 && crc != request.m_headerCrc))
        return EC_ReadFailed;

    m_newWad = std::make_unique<WadFile>(TemporaryPath());
    WadFileSource source(m_file);
    m_elements.clear();
    if (!m_newWad->LoadWadHeader(source) || m_newWad->ElementCount() == 0) return EC_FileError;
    if (m_newWad->TableEnd() != static_cast<int64_t>(request.m_headerSize)) {
        HY_LOG(LL_Error, kHttpFileCategory, fn, "Wad Header holds %lld bytes of entries, not %u (%s)",
               static_cast<long long>(m_newWad->TableEnd()), request.m_headerSize,
               request.m_localPath.c_str());
        return EC_ReadFailed;
    }
    // Elements are written one after another from the end of the table; that puts each at its
    // recorded position only when the archive follows the layout rule, so a header that breaks
    // it is refused rather than assembled into a corrupt archive.
    uint64_t expected = static_cast<uint64_t>(m_newWad->TableEnd());
    for (const auto& entry : m_newWad->Elements()) {
        const WadElement& element = entry.second;
        if (element.DataPosition() != expected) {
            HY_LOG(LL_Error, kHttpFileCategory, fn,
                   "Wad Header does not follow the layout rule at element %s (%s)",
                   element.Name().c_str(), request.m_localPath.c_str());
            return EC_ReadFailed;
        }
        expected += element.PackedSize();
        if (expected > UINT32_MAX) return EC_ReadFailed;
        m_elements.push_back(&element);
    }
    if (DeletesUtdBeforeElements()) {
        // An empty list marks every element of the installed archive stale while it is being
        // replaced; without any list its zero-filled elements would pass for real data.
        if (!WriteUtdFile(request.m_localPath + ".utd", {}, true, fn)) return EC_FileError;
    }
    m_writePosition = m_newWad->TableEnd();
    request.m_bytesDone = static_cast<uint32_t>(m_writePosition);
    m_nextElement = 0;
    m_stepState = SS_Elements;
    return EC_Ok;
}

int WadUpdateEngine::CutTemporary() {
    if (m_temporaryLength < 0) return EC_Ok;
    m_temporaryLength = -1;
    if (!m_file.Truncate(m_writePosition)) {
        int error = HY_OS::LastSystemError();
        HY_LOG(LL_Error, kHttpFileCategory, "WadDownloadEngine::CutTemporary",
               "Error %u; Unable to cut (%s).", static_cast<unsigned>(error), TemporaryPath().c_str());
        return ClassOfSystemError(error);
    }
    return EC_Ok;
}

int WadUpdateEngine::ProcessElement() {
    const char* fn = "WadDownloadEngine::ProcessElement";
    FileRequest& request = *m_request;
    const WadElement& element = *m_elements[m_nextElement];
    uint32_t packed = element.PackedSize();

    // Resume: the element may already be in place from an earlier attempt.
    if (m_temporaryLength >= 0 && m_temporaryLength >= m_writePosition + packed) {
        uint32_t crc = 0;
        if (RangeCrc(m_file, m_writePosition, packed, crc) && crc == element.Crc()) {
            m_writePosition += packed;
            request.m_bytesDone = static_cast<uint32_t>(m_writePosition);
            m_validElements.push_back({element.DataPosition(), packed, element.Crc()});
            ++m_nextElement;
            return EC_Ok;
        }
        request.m_bytesDone = static_cast<uint32_t>(m_writePosition);
    }

    // Copy: an unchanged element comes from the installed archive.
    const WadElement* local = m_installedOpen ? m_localWad->FindElement(element.Name()) : nullptr;
    if (local && local->Size() == element.Size() && local->PackedSize() == packed) {
        std::string data;
        WadFileSource source(m_installed);
        bool read = local->ReadPackedData(source, data);
        if (!read) {
            HY_LOG(LL_Warning, kHttpFileCategory, fn, "HY_ASSERT(pRawData)");
        } else if (CrcUpdate(0, data.data(), data.size()) == element.Crc()) {
            int cut = CutTemporary();
            if (cut != EC_Ok) return cut;
            // Earlier fetched elements must be in place before this one is written after them.
            if (m_rangeLength > 0) return SendCumulativeHttpRequest();
            if (data.empty()) {
                HY_LOG(LL_Error, kHttpFileCategory, fn, "0 data length to write to temp file");
            } else if (!m_file.WriteAt(data.data(), data.size(), m_writePosition)) {
                int error = HY_OS::LastSystemError();
                HY_LOG(LL_Error, kHttpFileCategory, fn, ShortCopyWriteLog(),
                       static_cast<unsigned>(error), TemporaryPath().c_str());
                return ClassOfSystemError(error);
            }
            m_writePosition += static_cast<int64_t>(data.size());
            request.m_bytesDone = static_cast<uint32_t>(m_writePosition);
            m_validElements.push_back({element.DataPosition(), packed, element.Crc()});
            ++m_nextElement;
            return EC_Ok;
        }
    }

    int cut = CutTemporary();
    if (cut != EC_Ok) return cut;
    int result = FetchElement(element);
    if (result == EC_Ok) ++m_nextElement;
    return result;
}

int WadUpdateEngine::SendCumulativeHttpRequest() {
    const char* fn = "WadDownloadEngine::SendCumulativeHttpRequest";
    if (m_bytesToRead > 0) {
        HY_LOG(LL_Error, kHttpFileCategory, fn, "SendCumulativeHttpRequest failed - Has data remaining (%s)",
               m_request->m_localPath.c_str());
        return EC_ReadFailed;
    }
    if (m_rangeLength == 0) return EC_Ok;
    uint32_t last = m_rangeStart + m_rangeLength - 1;
    if (SendHttpGetRange(m_rangeStart, last) != 0) {
        CloseHandles();
        return EC_ReadFailed;
    }
    if (!ResponseMatchesRange(m_rangeStart, m_rangeLength)) {
        HY_LOG(LL_Error, kHttpFileCategory, fn,
               "Server did not answer the range %u-%u with that range (%s)", m_rangeStart, last,
               m_request->m_url.c_str());
        return EC_ReadFailed;
    }
    m_bytesToRead = m_rangeLength;
    return EC_Ok;
}

int WadUpdateEngine::DownloadWadBlock() {
    const char* fn = "WadDownloadEngine::DownloadWadBlock";
    FileRequest& request = *m_request;
    size_t want = std::min<size_t>(m_bytesToRead, kBlockSize);
    uint32_t error = 0;
    int64_t n = m_hHTTPFile->Read(Buffer(), want, error);
    if (n < 0) {
        HY_LOG(LL_Error, kHttpFileCategory, fn, "DownloadWadBlock - InternetReadFile failed (%s). ErrorCode=%u",
               request.m_url.c_str(), error);
        return EC_ReadFailed;
    }
    if (n != static_cast<int64_t>(want)) {
        HY_LOG(LL_Error, kHttpFileCategory, fn,
               "InternetReadFile read 0 or incorrect bytes (%s, ExpectedSize:%u ActualRead:%u Remain:%u)",
               request.m_url.c_str(), static_cast<unsigned>(want), static_cast<unsigned>(n),
               m_bytesToRead);
        return EC_ReadFailed;
    }
    m_bytesToRead -= static_cast<uint32_t>(n);
    CountReceived(static_cast<uint64_t>(n));
    if (!m_file.WriteAt(Buffer(), want, m_writePosition)) {
        int writeError = HY_OS::LastSystemError();
        HY_LOG(LL_Error, kHttpFileCategory, fn, "Error %u; Download Wad Block: Error writing to the file (%s)",
               static_cast<unsigned>(writeError), TemporaryPath().c_str());
        return ClassOfSystemError(writeError);
    }
    m_writePosition += n;
    request.m_bytesDone = static_cast<uint32_t>(m_writePosition);
    if (m_bytesToRead == 0) {
        m_rangeStart = 0;
        m_rangeLength = 0;
    }
    return EC_Ok;
}

int WadUpdateEngine::InstallArchive(const char* failureLog) {
    FileRequest& request = *m_request;
    std::string temporary = TemporaryPath();
    Close();
    // The archive keeps the permission bits of the one it replaces.
    PrepareInstallPermissions(temporary, ExamineInstalledFile(request.m_localPath));
    // The rename replaces the installed archive in one step, so it is never missing.
    if (!HY_OS::RenameFile(temporary, request.m_localPath)) {
        int error = HY_OS::LastSystemError();
        HY_LOG(LL_Error, kHttpFileCategory, "WadDownloadEngine::InstallArchive", failureLog,
               static_cast<unsigned>(error), request.m_localPath.c_str());
        return ClassOfSystemError(error);
    }
    int64_t written = HY_OS::LastWriteTimeMs(request.m_localPath);
    if (written > 0) request.m_lastWriteTime = static_cast<uint64_t>(written);
    return EC_Ok;
}

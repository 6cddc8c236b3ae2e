#include "DownloadEngine.h"

#include <sys/stat.h>

#include "OsFile.h"
#include "Crc.h"
#include "InstallPermissions.h"
#include "LogMessage.h"

namespace {

const DownloadEngine::Flavour kWholeFile = {
    "DownloadEngine::OpenUrl (%s).",
    "HTTPQueryInfo GetLastError(): %u",
    "DownloadFile - InternetReadFile failed (%s - %s). ErrorCode=%u",
    "Error %u writing download into the file (%s)",
    false,
};

// Makes an existing file writable for its owner, as the download replaces it.
void MakeWritable(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) == 0 && (info.st_mode & S_IWUSR) == 0)
        ::chmod(path.c_str(), info.st_mode | S_IWUSR);
}

}  // namespace

const DownloadEngine::Flavour& DownloadEngine::GetFlavour() const { return kWholeFile; }

std::string DownloadEngine::DownloadPath() const { return m_request->m_localPath + ".tmp"; }

void DownloadEngine::Close() {
    m_http.reset();
    HttpEngine::Close();
}

int DownloadEngine::Open() {
    const char* fn = GetFlavour().compressed ? "ComprDownloadEngine::OpenUrl" : "DownloadEngine::OpenUrl";
    FileRequest& request = *m_request;
    const Flavour& flavour = GetFlavour();
    HY_LOG(LL_Status, kHttpFileCategory, fn, flavour.openLog, request.m_url.c_str());
    m_bodyBytes = 0;
    request.m_bytesDone = 0;

    uint32_t error = 0;
    m_http = HY_OS::HttpRequest::OpenUrl(m_host.Internet(), request.m_url, error);
    if (!m_http) {
        HY_LOG(LL_Error, kHttpFileCategory, fn, "InternetOpenUrl failed (%s). ErrorCode=%u",
               request.m_url.c_str(), error);
        return error == HY_OS::HTTP_ERROR_NAME_NOT_RESOLVED ? EC_HostNotFound : EC_RequestFailed;
    }
    m_http->SetAbortFlag(m_host.AbortFlag());

    // The size the download itself must have: the final file's, or the compressed file's.
    uint32_t expected = flavour.compressed ? request.m_headerSize : request.m_size;
    m_expectedSize = expected;
    int64_t length = 0;
    bool haveLength = m_http->ContentLength(length);
    if (!haveLength) {
        HY_LOG(LL_Error, kHttpFileCategory, fn,
               "HttpQueryInfo(HTTP_QUERY_CONTENT_LENGTH) Content-Length: %d failed", -1);
        if (flavour.compressed)
            HY_LOG(LL_Status, kHttpFileCategory, fn, flavour.headerDumpLog, static_cast<unsigned>(HY_OS::LastSystemError()));
        else
            HY_LOG(LL_Status, kHttpFileCategory, fn, "Entire HTTP header:");
        HY_LOG(LL_Status, kHttpFileCategory, fn, "%s", m_http->RawHeaders().c_str());
        length = 0;
    } else if (length > UINT32_MAX) {
        // A file of 4 GiB or more cannot be a file of the list; the sizes are 32-bit.
        HY_LOG(LL_Error, kHttpFileCategory, fn, "FileInfo filesize mismatch with URL filesize");
        HY_LOG(LL_Error, kHttpFileCategory, fn, "URL: %s", request.m_url.c_str());
        return EC_Mismatch;
    }

    bool accepted = false;
    if (haveLength) {
        std::string type;
        bool haveType = m_http->ContentType(type);
        if (haveType && type != "text/html") {
            if (expected != 0 && expected != static_cast<uint32_t>(length)) {
                HY_LOG(LL_Error, kHttpFileCategory, fn, "FileInfo filesize mismatch with URL filesize");
                HY_LOG(LL_Error, kHttpFileCategory, fn, "URL: %s", request.m_url.c_str());
                if (flavour.compressed)
                    HY_LOG(LL_Error, kHttpFileCategory, fn, "Expected size: %u, reported size: %d",
                           expected, static_cast<int>(length));
                else
                    HY_LOG(LL_Error, kHttpFileCategory, fn, "Expected size: %d, reported size: %d",
                           static_cast<int>(expected), static_cast<int>(length));
                return EC_Mismatch;
            }
            accepted = true;
        } else {
            HY_LOG(LL_Error, kHttpFileCategory, fn, "HttpQueryInfo(HTTP_QUERY_CONTENT_TYPE) failed");
        }
    }
    int status = m_http->Status();
    if (!accepted && !flavour.compressed) {
        if (status == 404) {
            HY_LOG(LL_Error, kHttpFileCategory, fn, "URL not exists: %s", request.m_url.c_str());
            return EC_RequestFailed;
        }
        HY_LOG(LL_Status, kHttpFileCategory, fn, flavour.headerDumpLog, static_cast<unsigned>(HY_OS::LastSystemError()));
    }
    // An error answer is never taken for the file, whatever its length or type.
    if (status >= 400) {
        HY_LOG(LL_Error, kHttpFileCategory, fn, "HTTP status %d for %s", status, request.m_url.c_str());
        return EC_RequestFailed;
    }

    if (haveLength) {
        if (flavour.compressed)
            request.m_headerSize = static_cast<uint32_t>(length);
        else
            request.m_size = static_cast<uint32_t>(length);
    }
    // A body may never run past the size the file list promised, whatever the server reports.
    m_bodyLimit = expected != 0 ? expected : (haveLength ? static_cast<uint32_t>(length) : 0);

    std::string target = DownloadPath();
    int directoryError = CreateDirectoriesFor(target);
    if (directoryError != 0) {
        HY_LOG(LL_Error, kHttpFileCategory, fn, "Error %u while creating directory for '%s'.",
               static_cast<unsigned>(directoryError), target.c_str());
        return ClassOfSystemError(directoryError);
    }
    MakeWritable(target);
    int openError = 0;
    m_file = HY_OS::File::Open(target, HY_OS::FileMode::CreateWrite, &openError);
    if (!m_file.IsOpen()) {
        if (flavour.compressed)
            HY_LOG(LL_Error, kHttpFileCategory, fn, "Error %u preparing %s for download",
                   static_cast<unsigned>(openError), target.c_str());
        else
            HY_LOG(LL_Error, kHttpFileCategory, fn, "Error %u while opening file '%s'.",
                   static_cast<unsigned>(openError), target.c_str());
        return ClassOfSystemError(openError);
    }
    return EC_Ok;
}

int DownloadEngine::Transfer(bool& done) {
    const char* fn = GetFlavour().compressed ? "ComprDownloadEngine::DownloadComprFile"
                                             : "DownloadEngine::DownloadFile";
    FileRequest& request = *m_request;
    done = false;
    uint32_t error = 0;
    int64_t n = m_http->Read(Buffer(), kBlockSize, error);
    if (n < 0) {
        if (GetFlavour().compressed)
            HY_LOG(LL_Error, kHttpFileCategory, fn, GetFlavour().readFailedLog,
                   request.m_url.c_str(), error);
        else
            HY_LOG(LL_Error, kHttpFileCategory, fn, GetFlavour().readFailedLog,
                   m_http->PrimaryIp().c_str(), request.m_url.c_str(), error);
        return EC_ReadFailed;
    }
    if (n > 0) {
        CountReceived(static_cast<uint64_t>(n));
        if (m_bodyLimit != 0 && static_cast<uint64_t>(m_bodyBytes) + static_cast<uint64_t>(n) > m_bodyLimit) {
            HY_LOG(LL_Error, kHttpFileCategory, fn,
                   "Download of %s runs past its expected size of %u bytes", request.m_url.c_str(),
                   m_bodyLimit);
            return EC_Mismatch;
        }
        if (!m_file.Write(Buffer(), static_cast<size_t>(n))) {
            int writeError = HY_OS::LastSystemError();
            HY_LOG(LL_Error, kHttpFileCategory, fn, GetFlavour().shortWriteLog,
                   static_cast<unsigned>(writeError), DownloadPath().c_str());
            return ClassOfSystemError(writeError);
        }
        m_bodyBytes += static_cast<uint32_t>(n);
        if (!GetFlavour().compressed) request.m_bytesDone += static_cast<uint32_t>(n);
        return EC_Ok;
    }
    if (!m_file.Sync()) {
        int syncError = HY_OS::LastSystemError();
        HY_LOG(LL_Error, kHttpFileCategory, fn, GetFlavour().shortWriteLog,
               static_cast<unsigned>(syncError), DownloadPath().c_str());
        return ClassOfSystemError(syncError);
    }
    m_file.Close();
    m_serverIp = m_http->PrimaryIp();
    m_http.reset();
    int result = Finish();
    if (result == EC_Ok) done = true;
    return result;
}

int DownloadEngine::Finish() {
    const char* fn = "DownloadEngine::DownloadFile";
    FileRequest& request = *m_request;
    std::string temporary = DownloadPath();
    uint32_t bytesDone = request.m_bytesDone;
    bool good = (request.m_size == 0 || request.m_size == bytesDone) &&
                (m_expectedSize == 0 || m_expectedSize == bytesDone);
    uint32_t actual = 0;
    if (good && request.m_crc != 0) {
        good = FileCrc(temporary, actual) && actual == request.m_crc;
        request.m_actualCrc = actual;
    }
    if (!good) {
        HY_LOG(LL_Error, kHttpFileCategory, fn, "Downloaded file's length or CRC not matching the original's");
        HY_LOG(LL_Status, kHttpFileCategory, fn, "URL:        %s", request.m_url.c_str());
        HY_LOG(LL_Status, kHttpFileCategory, fn, "URL IP:     %s", m_serverIp.c_str());
        HY_LOG(LL_Status, kHttpFileCategory, fn, "Local File: %s", request.m_localPath.c_str());
        HY_LOG(LL_Status, kHttpFileCategory, fn, "Expected Length: %u, Downloaded Length: %u",
               request.m_size, bytesDone);
        HY_LOG(LL_Status, kHttpFileCategory, fn, "Expected CRC: 0x%08x, Downloaded CRC: 0x%08x",
               request.m_crc, actual);
        HY_OS::DeleteFile(temporary);
        return EC_Mismatch;
    }
    return InstallTemporary(temporary);
}

int DownloadEngine::InstallTemporary(const std::string& temporary) {
    FileRequest& request = *m_request;
    InstalledFile previous = ExamineInstalledFile(request.m_localPath);
    if (!PrepareInstallPermissions(temporary, previous)) {
        int modeError = HY_OS::LastSystemError();
        HY_LOG(LL_Error, kHttpFileCategory, "DownloadEngine::InstallTemporary",
               "Error %u setting the permissions of (%s)", static_cast<unsigned>(modeError),
               temporary.c_str());
        HY_OS::DeleteFile(temporary);
        return ClassOfSystemError(modeError);
    }
    MakeWritable(request.m_localPath);
    if (!HY_OS::RenameFile(temporary, request.m_localPath)) {
        int renameError = HY_OS::LastSystemError();
        HY_LOG(LL_Error, kHttpFileCategory, "DownloadEngine::InstallTemporary",
               "Error %u; Copying completed file over old file failed (%s)",
               static_cast<unsigned>(renameError), request.m_localPath.c_str());
        return ClassOfSystemError(renameError);
    }
    int64_t written = HY_OS::LastWriteTimeMs(request.m_localPath);
    if (written > 0) request.m_lastWriteTime = static_cast<uint64_t>(written);
    return EC_Ok;
}

#include "WadDownloadEngine.h"

#include "OsFile.h"
#include "LogMessage.h"

int WadDownloadEngine::FetchElement(const WadElement& element) {
    if (m_rangeLength == 0) m_rangeStart = element.DataPosition();
    m_rangeLength += element.PackedSize();
    return EC_Ok;
}

int WadDownloadEngine::FinishArchive(bool& done) {
    const char* fn = "WadDownloadEngine::DownloadWadFile";
    FileRequest& request = *m_request;
    done = false;
    if (m_bytesToRead > 0) {
        HY_LOG(LL_Error, kHttpFileCategory, fn, "DownloadWadFile failed - Counter error (%s)",
               request.m_localPath.c_str());
        return EC_ReadFailed;
    }
    if (m_rangeLength > 0) {
        if (SendCumulativeHttpRequest() != EC_Ok) {
            HY_LOG(LL_Error, kHttpFileCategory, fn, "DownloadWadFile failed - Unable to sendHTTP request (%s)",
                   request.m_localPath.c_str());
            return EC_ReadFailed;
        }
        return EC_Ok;  // the range is read in the next steps
    }
    // Whatever an earlier, longer attempt left after the last element is not part of the archive.
    if (!m_file.Truncate(m_writePosition) || !m_file.Sync()) {
        int error = HY_OS::LastSystemError();
        HY_LOG(LL_Error, kHttpFileCategory, fn, "Error %u; Unable to cut (%s).",
               static_cast<unsigned>(error), TemporaryPath().c_str());
        return ClassOfSystemError(error);
    }
    uint32_t actual = 0;
    bool read = RangeCrc(m_file, 0, m_writePosition, actual);
    request.m_actualCrc = actual;
    bool sizeRight = request.m_size == 0 || static_cast<int64_t>(request.m_size) == m_writePosition;
    if (!read || !sizeRight || (request.m_crc != 0 && actual != request.m_crc)) {
        HY_LOG(LL_Error, kHttpFileCategory, fn, "Downloaded WAD file's CRC not matching the original's");
        HY_LOG(LL_Error, kHttpFileCategory, fn, "File: %s, Expected CRC: 0x%08x, Actual CRC: 0x%08x",
               request.m_localPath.c_str(), request.m_crc, actual);
        return EC_Mismatch;
    }
    int result = InstallArchive("Error %u; Copying completed file over old  file failed (%s)");
    if (result == EC_Ok) done = true;
    return result;
}

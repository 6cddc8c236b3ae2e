#include "FileRequest.h"

FileRequest::FileRequest(const FileRequest& other)
    : m_status(other.m_status.load()),
      m_url(other.m_url),
      m_localPath(other.m_localPath),
      m_downloadType(other.m_downloadType),
      m_size(other.m_size),
      m_crc(other.m_crc),
      m_headerSize(other.m_headerSize),
      m_compressedHeaderSize(other.m_compressedHeaderSize),
      m_headerCrc(other.m_headerCrc),
      m_bytesDone(other.m_bytesDone.load()),
      m_actualCrc(other.m_actualCrc.load()),
      m_bytesTransferred(other.m_bytesTransferred.load()),
      m_openFailures(other.m_openFailures.load()),
      m_transferFailures(other.m_transferFailures.load()),
      m_fileFailures(other.m_fileFailures.load()),
      m_verifyFailures(other.m_verifyFailures.load()),
      m_tag(other.m_tag),
      m_lastWriteTime(other.m_lastWriteTime.load()),
      m_forceDownload(other.m_forceDownload),
      m_validateWads(other.m_validateWads) {}

void FileRequest::ResetFailureCounters() {
    m_openFailures = 0;
    m_transferFailures = 0;
    m_fileFailures = 0;
    m_verifyFailures = 0;
}

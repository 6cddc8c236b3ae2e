#include "HttpEngine.h"

#include <algorithm>
#include <cerrno>
#include <memory>

#include "Crc.h"
#include "LogMessage.h"
#include "OsFile.h"
#include "OsSysCalls.h"

int ClassOfSystemError(int error) {
    switch (HY_OS::KindOfSystemError(error)) {
        case HY_OS::SEK_NoSpace:
            return EC_NoSpace;
        case HY_OS::SEK_SharingViolation:
            return EC_SharingViolation;
        default:
            return EC_FileError;
    }
}

int IndicationOfFailure(DownloadFailure failure) {
    switch (failure) {
        case DF_DiskFull: return IK_DiskFull;
        case DF_RequestFailed: return IK_RequestFailed;
        case DF_HostNotFound: return IK_HostNotFound;
        case DF_TransferFailed: return IK_TransferFailed;
        case DF_VerifyFailed: return IK_VerifyFailed;
        case DF_FileError: return IK_FileError;
        default: return IK_RequestFailed;
    }
}

DownloadFailure FailureOfIndication(int kind) {
    switch (kind) {
        case IK_DiskFull: return DF_DiskFull;
        case IK_RequestFailed: return DF_RequestFailed;
        case IK_HostNotFound: return DF_HostNotFound;
        case IK_TransferFailed: return DF_TransferFailed;
        case IK_VerifyFailed: return DF_VerifyFailed;
        case IK_FileError: return DF_FileError;
        default: return DF_None;
    }
}

HttpEngine::HttpEngine(EngineHost& host) : m_host(host) {}

char* HttpEngine::Buffer() {
    // Not value-initialised: every use reads into the buffer before it reads from it.
    if (!m_buffer) m_buffer.reset(new char[kBlockSize]);
    return m_buffer.get();
}

HttpEngine::~HttpEngine() = default;

void HttpEngine::Start(const FileRequestRef& request) {
    m_request = request;
    m_state = ES_Started;
}

void HttpEngine::Close() { m_file.Close(); }

void HttpEngine::CountReceived(uint64_t bytes) {
    m_host.AddBytesReceived(bytes);
    m_request->m_bytesTransferred.fetch_add(static_cast<uint32_t>(bytes));
}

int HttpEngine::CreateDirectoriesFor(const std::string& path) {
    std::string normalised = path;
    for (char& c : normalised)
        if (c == '\\') c = '/';
    std::string directory = HY_OS::DirectoryPart(normalised);
    if (directory.empty() || HY_OS::CreateDirectories(directory)) return 0;
    int error = HY_OS::LastSystemError();
    return error != 0 ? error : EIO;
}

EngineStepResult HttpEngine::Step(DownloadFailure& failure) {
    failure = DF_None;
    FileRequest& request = *m_request;
    switch (m_state) {
        case ES_Started: {
            // The download must fit with room to spare. The disk asked is the one the file goes
            // to; when its free space cannot be learned the download goes ahead.
            std::string directory = HY_OS::DirectoryPart(request.m_localPath);
            int64_t free = HY_OS::GetFreeDiskSpace(directory.empty() ? "." : directory);
            if (free < 0) free = HY_OS::GetFreeDiskSpace(".");
            bool enough = free < 0 || free >= (int64_t{1} << 32) ||
                          free - static_cast<int64_t>(request.m_size) > kDiskReserve;
            if (!enough) {
                failure = DF_DiskFull;
                m_state = ES_Idle;
                return ESR_Failed;
            }
            m_state = ES_Open;
            return ESR_Continue;
        }
        case ES_Open: {
            m_host.SendIndication(IK_Opening, m_request);
            int result = Open();
            if (result != EC_Ok) {
                Close();
                m_state = ES_Idle;
                switch (result) {
                    case EC_HostNotFound: ++request.m_openFailures; failure = DF_HostNotFound; break;
                    case EC_NoSpace: ++request.m_fileFailures; failure = DF_DiskFull; break;
                    case EC_SharingViolation:
                    case EC_FileError: ++request.m_fileFailures; failure = DF_FileError; break;
                    case EC_Mismatch: ++request.m_verifyFailures; failure = DF_VerifyFailed; break;
                    default: ++request.m_openFailures; failure = DF_RequestFailed; break;
                }
                return ESR_Failed;
            }
            m_host.SendIndication(IK_Opened, m_request);
            m_progressStartMs = HY_OS::SysCalls().MonotonicMs();
            m_state = ES_Transferring;
            return ESR_Continue;
        }
        case ES_Transferring: {
            bool done = false;
            int result = Transfer(done);
            if (result == EC_Ok && !done) {
                uint64_t now = HY_OS::SysCalls().MonotonicMs();
                if (now - m_progressStartMs > kProgressIntervalMs) {
                    m_host.SendIndication(IK_Progress, m_request);
                    m_progressStartMs = now;
                }
                return ESR_Continue;
            }
            Close();
            m_state = ES_Idle;
            if (result == EC_Ok) return ESR_Done;
            switch (result) {
                case EC_NoSpace: ++request.m_fileFailures; failure = DF_DiskFull; break;
                case EC_SharingViolation:
                case EC_FileError: ++request.m_fileFailures; failure = DF_FileError; break;
                case EC_Mismatch: ++request.m_verifyFailures; failure = DF_VerifyFailed; break;
                default: ++request.m_transferFailures; failure = DF_TransferFailed; break;
            }
            return ESR_Failed;
        }
        default:
            failure = DF_RequestFailed;
            return ESR_Failed;
    }
}

bool RangeCrc(HY_OS::File& file, int64_t offset, int64_t length, uint32_t& crc) {
    crc = 0;
    if (length <= 0) return true;
    // Sized to the range and not cleared first: a WAD's elements are checked one by one, most of
    // them far smaller than a block, and only the bytes a read filled are used.
    const size_t size = static_cast<size_t>(std::min<int64_t>(length, static_cast<int64_t>(HttpEngine::kBlockSize)));
    std::unique_ptr<char[]> block(new char[size]);
    while (length > 0) {
        size_t want = static_cast<size_t>(std::min<int64_t>(length, static_cast<int64_t>(size)));
        int64_t n = file.ReadAt(block.get(), want, offset);
        if (n <= 0) return false;
        crc = CrcUpdate(crc, block.get(), static_cast<size_t>(n));
        offset += n;
        length -= n;
    }
    return true;
}

bool FileCrc(const std::string& path, uint32_t& crc, int64_t* length) {
    HY_OS::File file = HY_OS::File::Open(path, HY_OS::FileMode::Read);
    if (!file.IsOpen()) return false;
    int64_t size = file.Length();
    if (size < 0) return false;
    if (length) *length = size;
    return RangeCrc(file, 0, size, crc);
}

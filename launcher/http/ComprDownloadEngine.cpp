#include "ComprDownloadEngine.h"

#include <zlib.h>

#include <cerrno>

#include "LogMessage.h"

namespace {

const DownloadEngine::Flavour kCompressed = {
    "ComprDownloadEngine::OpenUrl (%s).",
    "HTTPQueryInfo GetLastError() : %u",
    "DownloadComprFile - InternetReadFile failed (%s). ErrorCode=%u",
    "Error %u; Writing download into the file (%s)",
    true,
};

constexpr size_t kUnpackBlock = 8192;
constexpr const char* kDecompressFn = "ComprDownloadEngine::DecompressFile";

struct GzFile {
    gzFile file = nullptr;
    ~GzFile() {
        if (file) gzclose(file);
    }
};

}  // namespace

const DownloadEngine::Flavour& ComprDownloadEngine::GetFlavour() const { return kCompressed; }

std::string ComprDownloadEngine::DownloadPath() const { return m_request->m_localPath + ".gz"; }

bool ComprDownloadEngine::DecompressFile(const std::string& source, const std::string& target,
                                         uint32_t limit, int64_t& length) {
    length = 0;
    HY_OS::File out = HY_OS::File::Open(target, HY_OS::FileMode::CreateWrite);
    if (!out.IsOpen()) {
        HY_LOG(LL_Error, kHttpFileCategory, kDecompressFn,
               "HYHttpFileSession::ComprDownloadEngine::DecompressFile Unable to open target file");
        return false;
    }
    GzFile in;
    in.file = gzopen(source.c_str(), "rb");
    if (!in.file) {
        HY_LOG(LL_Error, kHttpFileCategory, kDecompressFn,
               "HYHttpFileSession::ComprDownloadEngine::DecompressFile Unable to open source file");
        return false;
    }
    // The reader would pass plain bytes through unchanged; a download that is not gzip is refused.
    if (gzdirect(in.file)) {
        HY_LOG(LL_Error, kHttpFileCategory, kDecompressFn,
               "HYHttpFileSession::ComprDownloadEngine::DecompressFile Unable to read source file");
        return false;
    }
    char block[kUnpackBlock];
    for (;;) {
        int n = gzread(in.file, block, sizeof block);
        if (n < 0) {
            HY_LOG(LL_Error, kHttpFileCategory, kDecompressFn,
                   "HYHttpFileSession::ComprDownloadEngine::DecompressFile Unable to read source file");
            return false;
        }
        if (n == 0) break;
        // A file that unpacks to more than the list promised is refused before it fills the disk.
        if (limit != 0 && length + n > static_cast<int64_t>(limit)) {
            length += n;
            return true;
        }
        if (!out.Write(block, static_cast<size_t>(n))) {
            HY_LOG(LL_Error, kHttpFileCategory, kDecompressFn,
                   "HYHttpFileSession::ComprDownloadEngine::DecompressFile Unable to write target file");
            return false;
        }
        length += n;
    }
    // A stream cut short is a read error of the source, not a shorter file.
    int zerror = Z_OK;
    gzerror(in.file, &zerror);
    if (zerror != Z_OK && zerror != Z_STREAM_END) {
        HY_LOG(LL_Error, kHttpFileCategory, kDecompressFn,
               "HYHttpFileSession::ComprDownloadEngine::DecompressFile Unable to read source file");
        return false;
    }
    if (!out.Sync()) {
        HY_LOG(LL_Error, kHttpFileCategory, kDecompressFn,
               "HYHttpFileSession::ComprDownloadEngine::DecompressFile Unable to write target file");
        return false;
    }
    return true;
}

int ComprDownloadEngine::Finish() {
    const char* fn = "ComprDownloadEngine::DownloadComprFile";
    FileRequest& request = *m_request;
    std::string compressed = DownloadPath();
    std::string temporary = request.m_localPath + ".tmp";
    if (request.m_headerSize != 0 && request.m_headerSize != m_bodyBytes) {
        HY_LOG(LL_Error, kHttpFileCategory, fn, "Decompressed file's CRC not matching the original's");
        HY_LOG(LL_Error, kHttpFileCategory, fn, "File: %s, Expected CRC: 0x%08x, Actual CRC: 0x%08x",
               request.m_localPath.c_str(), request.m_crc, 0u);
        return EC_Mismatch;
    }
    int64_t length = 0;
    if (!DecompressFile(compressed, temporary, request.m_size, length)) {
        HY_LOG(LL_Error, kHttpFileCategory, fn, "Unable to decompress file %s", compressed.c_str());
        HY_OS::DeleteFile(temporary);
        return EC_FileError;
    }
    request.m_bytesDone = static_cast<uint32_t>(std::min<int64_t>(length, UINT32_MAX));
    if (request.m_size != 0 && static_cast<int64_t>(request.m_size) != length) {
        HY_LOG(LL_Error, kHttpFileCategory, fn, "Decompressed file's length not matching the original's");
        HY_LOG(LL_Error, kHttpFileCategory, fn, "File: %s, Expected Len: %u, Actual Len: %u",
               request.m_localPath.c_str(), request.m_size, static_cast<unsigned>(length));
        HY_OS::DeleteFile(temporary);
        return EC_FileError;
    }
    if (request.m_crc != 0) {
        uint32_t actual = 0;
        bool read = FileCrc(temporary, actual);
        request.m_actualCrc = actual;
        if (!read || actual != request.m_crc) {
            HY_LOG(LL_Error, kHttpFileCategory, fn, "Decompressed file's CRC not matching the original's");
            HY_LOG(LL_Error, kHttpFileCategory, fn, "File: %s, Expected CRC: 0x%08x, Actual CRC: 0x%08x",
                   request.m_localPath.c_str(), request.m_crc, actual);
            HY_OS::DeleteFile(temporary);
            return EC_Mismatch;
        }
    }
    int result = InstallTemporary(temporary);
    if (result == EC_Ok) HY_OS::DeleteFile(compressed);
    return result;
}

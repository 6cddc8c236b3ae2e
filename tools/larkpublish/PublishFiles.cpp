#include "PublishFiles.h"

#include <zlib.h>

#include <cstring>
#include <functional>
#include <vector>

#include "Crc.h"
#include "OsFile.h"

namespace larkpublish {

namespace {

constexpr size_t kBlock = 1 << 20;

std::string TemporaryName(const std::string& target) { return target + ".publishing"; }

bool PrepareFolder(const std::string& target, std::string& error) {
    std::string folder = HY_OS::DirectoryPart(target);
    if (folder.empty() || HY_OS::CreateDirectories(folder)) return true;
    error = "cannot create the folder " + folder;
    return false;
}

// Reads the whole file in blocks and hands each to `take`; false when a read fails or `take`
// answers false.
bool ForEachBlock(HY_OS::File& file, const std::function<bool(const char*, size_t)>& take) {
    std::vector<char> block(kBlock);
    for (;;) {
        int64_t n = file.Read(block.data(), block.size());
        if (n == 0) return true;
        if (n < 0 || !take(block.data(), static_cast<size_t>(n))) return false;
    }
}

bool Finish(const std::string& temporary, const std::string& target, std::string& error) {
    if (HY_OS::RenameFile(temporary, target)) return true;
    HY_OS::DeleteFile(temporary);
    error = "cannot rename " + temporary + " to " + target;
    return false;
}

}  // namespace

bool FileLengthAndCrc(const std::string& path, int64_t& length, uint32_t& crc) {
    HY_OS::File file = HY_OS::File::Open(path, HY_OS::FileMode::Read);
    length = 0;
    crc = 0;
    return file.IsOpen() && ForEachBlock(file, [&](const char* data, size_t size) {
               crc = CrcUpdate(crc, data, size);
               length += static_cast<int64_t>(size);
               return true;
           });
}

bool SameFileContent(const std::string& a, const std::string& b) {
    HY_OS::File first = HY_OS::File::Open(a, HY_OS::FileMode::Read);
    HY_OS::File second = HY_OS::File::Open(b, HY_OS::FileMode::Read);
    if (!first.IsOpen() || !second.IsOpen() || first.Length() != second.Length()) return false;
    std::vector<char> x(kBlock), y(kBlock);
    for (int64_t at = 0;;) {
        int64_t n = first.ReadAt(x.data(), x.size(), at);
        int64_t m = second.ReadAt(y.data(), y.size(), at);
        if (n < 0 || n != m) return false;
        if (n == 0) return true;
        if (std::memcmp(x.data(), y.data(), static_cast<size_t>(n)) != 0) return false;
        at += n;
    }
}

bool CopyFileAtomic(const std::string& from, const std::string& to, uint32_t expectedCrc,
                    std::string& error) {
    if (!PrepareFolder(to, error)) return false;
    HY_OS::File source = HY_OS::File::Open(from, HY_OS::FileMode::Read);
    std::string temporary = TemporaryName(to);
    HY_OS::File target = HY_OS::File::Open(temporary, HY_OS::FileMode::CreateWrite);
    if (!source.IsOpen() || !target.IsOpen()) {
        error = "cannot copy " + from + " to " + temporary;
        return false;
    }
    uint32_t crc = 0;
    bool ok = ForEachBlock(source, [&](const char* data, size_t size) {
        crc = CrcUpdate(crc, data, size);
        return target.Write(data, size);
    });
    ok = ok && target.Sync();
    target.Close();
    if (!ok || crc != expectedCrc) {
        HY_OS::DeleteFile(temporary);
        error = ok ? from + " changed while it was published"
                   : "cannot copy " + from + " to " + temporary;
        return false;
    }
    return Finish(temporary, to, error);
}

bool GzipFileAtomic(const std::string& from, const std::string& to, std::string& error) {
    if (!PrepareFolder(to, error)) return false;
    HY_OS::File source = HY_OS::File::Open(from, HY_OS::FileMode::Read);
    std::string temporary = TemporaryName(to);
    // Level 9 and no name or time in the gzip header: the same file always compresses to the
    // same bytes, so publishing again changes nothing.
    gzFile gz = source.IsOpen() ? gzopen(temporary.c_str(), "wb9") : nullptr;
    if (!gz) {
        error = "cannot compress " + from + " to " + temporary;
        return false;
    }
    bool ok = ForEachBlock(source, [&](const char* data, size_t size) {
        return gzwrite(gz, data, static_cast<unsigned>(size)) == static_cast<int>(size);
    });
    if (gzclose(gz) != Z_OK) ok = false;
    if (!ok) {
        HY_OS::DeleteFile(temporary);
        error = "cannot compress " + from + " to " + temporary;
        return false;
    }
    return Finish(temporary, to, error);
}

bool WriteIfChanged(const std::string& path, const std::string& bytes, bool& written,
                    std::string& error) {
    std::string existing;
    written = false;
    if (HY_OS::ReadWholeFile(path, existing) && existing == bytes) return true;
    if (!PrepareFolder(path, error)) return false;
    if (!HY_OS::WriteFileAtomic(path, bytes)) {
        error = "cannot write " + path;
        return false;
    }
    written = true;
    return true;
}

}  // namespace larkpublish

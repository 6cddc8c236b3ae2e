// File operations of publishing. Every file is written under a temporary name beside its target
// ("<target>.publishing") and renamed over it, so a reader never sees a half-written file.
#pragma once

#include <cstdint>
#include <string>

namespace larkpublish {

// Length and CRC (CrcUpdate from 0) of a whole file, read in blocks; false when it cannot be read.
bool FileLengthAndCrc(const std::string& path, int64_t& length, uint32_t& crc);
// True when both files can be read and hold the same bytes.
bool SameFileContent(const std::string& a, const std::string& b);

// Copies `from` to `to` (creating its folders); the copy must have the CRC `expectedCrc`, or the
// source changed while it was read and nothing is left behind.
bool CopyFileAtomic(const std::string& from, const std::string& to, uint32_t expectedCrc,
                    std::string& error);
// Writes the gzip form of `from` to `to`.
bool GzipFileAtomic(const std::string& from, const std::string& to, std::string& error);
// Writes `bytes` to `path` unless it already holds exactly them; `written` tells which.
bool WriteIfChanged(const std::string& path, const std::string& bytes, bool& written,
                    std::string& error);

}  // namespace larkpublish

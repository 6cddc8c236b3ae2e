// Gzip-compressed downloads: the body goes to "<local path>.gz", is unpacked with zlib's gzip
// reader into "<local path>.tmp", checked, and then moved over the local file.
#pragma once

#include <string>

#include "DownloadEngine.h"

class ComprDownloadEngine : public DownloadEngine {
public:
    explicit ComprDownloadEngine(EngineHost& host) : DownloadEngine(host) {}

    // Unpacks the gzip file `source` into `target` (replacing it), writing at most `limit` bytes
    // when `limit` is not 0. Answers true with the unpacked length; false after logging why.
    static bool DecompressFile(const std::string& source, const std::string& target,
                               uint32_t limit, int64_t& length);

protected:
    const Flavour& GetFlavour() const override;
    std::string DownloadPath() const override;
    int Finish() override;
};

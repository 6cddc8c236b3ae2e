// Whole-file downloads: the response body is written to "<local path>.tmp", checked against the
// expected size and CRC, and only then moved over the local file, so a failed or lying download
// never replaces a good file.
#pragma once

#include <memory>
#include <string>

#include "HttpEngine.h"

class DownloadEngine : public HttpEngine {
public:
    explicit DownloadEngine(EngineHost& host) : HttpEngine(host) {}
    void Close() override;

    // What differs between the whole-file and the compressed-file engine.
    struct Flavour {
        const char* openLog;          // "...::OpenUrl (%s)."
        const char* headerDumpLog;    // the last system error, logged where the headers are examined
        const char* readFailedLog;
        const char* shortWriteLog;
        bool compressed;
    };

protected:
    int Open() override;
    int Transfer(bool& done) override;
    virtual const Flavour& GetFlavour() const;
    // The file the body is written to.
    virtual std::string DownloadPath() const;
    // Called when the body has ended; 0 or a class.
    virtual int Finish();
    // Moves the checked temporary file over the local file and records its last-write time.
    int InstallTemporary(const std::string& temporary);

    std::unique_ptr<HY_OS::HttpRequest> m_http;
    // The body may not run past this many bytes (0: no limit); a longer body is a lying server.
    uint32_t m_bodyLimit = 0;
    // The size the file list promised, kept when the server reports none.
    uint32_t m_expectedSize = 0;
    uint32_t m_bodyBytes = 0;
    std::string m_serverIp;
};

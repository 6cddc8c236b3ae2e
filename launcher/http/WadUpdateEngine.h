// What the two WAD archive update engines share. Both fetch the new archive's header and entry
// table (published gzip-compressed beside the archive as "<name>.wad.hdr.gz"), unpack it to the
// start of "<local path>.tmp" and then build the new archive there element by element, in
// ascending name order: an element already in place from an interrupted attempt is kept, an
// unchanged element is copied from the installed archive, and a changed one is fetched (the
// archive update) or written as zero bytes (the dynamic update). The installed archive is only
// replaced once the new one is complete.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "SegDownloadEngine.h"
#include "WadFile.h"

// One record of a ".utd" list: an element whose stored bytes are real.
struct UtdRecord {
    uint32_t dataPosition;
    uint32_t packedSize;
    uint32_t crc;
};

// Writes the records to `path` through "<path>.tmp" and a rename, so the list is never seen half
// written. False after logging why (with the messages "Unable to open (%s)." and "Unable to
// write to (%s).", with the system error first when `withError`).
bool WriteUtdFile(const std::string& path, const std::vector<UtdRecord>& records, bool withError,
                  const char* function);

class WadUpdateEngine : public SegDownloadEngine {
public:
    explicit WadUpdateEngine(EngineHost& host);
    ~WadUpdateEngine() override;

    // The installed archive as the session read it; it may hold no elements.
    void SetLocalArchive(std::unique_ptr<WadFile> archive) { m_localWad = std::move(archive); }
    void Close() override;

protected:
    enum StepState { SS_RequestHeader, SS_DownloadHeader, SS_Elements };

    int Open() override;
    int Transfer(bool& done) override;

    // A changed element: added to the pending range, or written as zero bytes.
    virtual int FetchElement(const WadElement& element) = 0;
    // Every element handled and nothing left to read: install the new archive.
    virtual int FinishArchive(bool& done) = 0;
    virtual const char* ShortCopyWriteLog() const = 0;
    virtual bool DeletesUtdBeforeElements() const { return false; }

    int RequestWadHeader();
    int DownloadWadHeader();
    int UnpackWadHeader();
    int ProcessElement();
    int DownloadWadBlock();
    int SendCumulativeHttpRequest();
    // Cuts the temporary file at the write position when its earlier length is still
    // remembered, and forgets that length so no later element resumes.
    int CutTemporary();
    // Moves the finished temporary file over the installed archive.
    int InstallArchive(const char* failureLog);

    std::string TemporaryPath() const { return m_request->m_localPath + ".tmp"; }

    std::unique_ptr<WadFile> m_localWad;
    HY_OS::File m_installed;
    bool m_installedOpen = false;
    std::unique_ptr<WadFile> m_newWad;
    std::vector<const WadElement*> m_elements;
    size_t m_nextElement = 0;
    int64_t m_temporaryLength = -1;  // length of the temporary file when opened; -1 once cut
    int64_t m_writePosition = 0;
    uint32_t m_rangeStart = 0;
    uint32_t m_rangeLength = 0;
    uint32_t m_bytesToRead = 0;
    std::vector<UtdRecord> m_validElements;

private:
    StepState m_stepState = SS_RequestHeader;
    std::unique_ptr<HY_OS::HttpRequest> m_headerRequest;
    HY_OS::File m_headerFile;
    uint32_t m_headerReceived = 0;
    bool m_headerLogged = false;
};

// Archive update (download type 3): unchanged elements are copied from the installed archive,
// changed ones are fetched with range requests, neighbours together in one request. The new
// archive must match the whole-file CRC before it replaces the installed one.
#pragma once

#include "WadUpdateEngine.h"

class WadDownloadEngine : public WadUpdateEngine {
public:
    explicit WadDownloadEngine(EngineHost& host) : WadUpdateEngine(host) {}

protected:
    int FetchElement(const WadElement& element) override;
    int FinishArchive(bool& done) override;
    const char* ShortCopyWriteLog() const override {
        return "Error %u; numBytesWritten!=rawDataSize (%s)";
    }
};

// Dynamic archive update (download type 4): unchanged elements are copied from the installed
// archive and every other element is written as zero bytes; the ".utd" list then names the
// elements that hold real data, and the game fetches the others when it needs them.
#pragma once

#include <vector>

#include "WadUpdateEngine.h"

class DynWadDownloadEngine : public WadUpdateEngine {
public:
    explicit DynWadDownloadEngine(EngineHost& host);

protected:
    int FetchElement(const WadElement& element) override;
    int FinishArchive(bool& done) override;
    const char* ShortCopyWriteLog() const override {
        return "Error %u; numBytesWritten!=rawDataSize) (%s)";
    }
    bool DeletesUtdBeforeElements() const override { return true; }

private:
    // Writes the element's packed size in zero bytes at the write position.
    int WriteEmptyWadElement(const WadElement& element);

    std::vector<char> m_zeroBlock;
};

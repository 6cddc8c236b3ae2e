// Validation of a current dynamic archive: every element's stored bytes are checked against its
// CRC, and the ".utd" list is rewritten with the elements that hold real data. The archive itself
// is not changed and nothing is fetched.
#pragma once

#include <memory>
#include <vector>

#include "HttpEngine.h"
#include "WadFile.h"
#include "WadUpdateEngine.h"

class DynWadValidateEngine : public HttpEngine {
public:
    explicit DynWadValidateEngine(EngineHost& host) : HttpEngine(host) {}

    void SetLocalArchive(std::unique_ptr<WadFile> archive) { m_localWad = std::move(archive); }

protected:
    int Open() override;
    int Transfer(bool& done) override;
    // One element per step; the list is written after the last.
    int ProcessCheckElemList(bool& done);

private:
    std::unique_ptr<WadFile> m_localWad;
    std::vector<const WadElement*> m_elements;
    size_t m_nextElement = 0;
    std::vector<UtdRecord> m_validElements;
};

// The archive-update engine's unpacking of a downloaded compressed WAD header: gunzipped into the
// new archive's file, checked against the size and CRC the file list gave, and read as a header
// that must follow the layout rule. Input: the header size (4 bytes, little-endian, at most
// 1 MiB used), the header CRC (4 bytes, 0: not checked), then the ".hdr.gz" download.
#include <cstdlib>
#include <string>

#include "FileRequest.h"
#include "FuzzTarget.h"
#include "OsFile.h"
#include "WadDownloadEngine.h"
#include "WadTool.h"
#include "WadWriter.h"

namespace {

class NoHost : public EngineHost {
public:
    void SendIndication(int, const FileRequestRef&) override {}
    void AddBytesReceived(uint64_t) override {}
    const std::shared_ptr<HY_OS::HttpInternet>& Internet() const override { return m_internet; }
    const std::atomic<bool>* AbortFlag() const override { return nullptr; }

private:
    std::shared_ptr<HY_OS::HttpInternet> m_internet;
};

class WadHeaderProbe : public WadDownloadEngine {
public:
    using WadDownloadEngine::WadDownloadEngine;
    int Unpack(const FileRequestRef& request) {
        m_request = request;
        HY_OS::DeleteFile(TemporaryPath());
        m_file = HY_OS::File::Open(TemporaryPath(), HY_OS::FileMode::OpenOrCreate);
        if (!m_file.IsOpen()) std::abort();
        int result = UnpackWadHeader();
        if (result == 0 && m_elements.size() != m_newWad->ElementCount()) std::abort();
        return result;
    }
};

uint32_t U32(const uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | uint32_t{p[3]} << 24; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 8) return 0;
    auto request = std::make_shared<FileRequest>();
    request->m_localPath = FuzzScratchPath("data.wad");
    request->m_headerSize = U32(data) % (1u << 20);
    request->m_headerCrc = U32(data + 4);
    FuzzScratchFile("data.wad.hdr.gz", data + 8, size - 8);
    NoHost host;
    WadHeaderProbe engine(host);
    engine.Unpack(request);
    engine.Close();
    return 0;
}

std::vector<std::string> HyFuzzSeeds() {
    WadWriter writer;
    writer.Add("elema", std::string(3000, 'a'), true);
    writer.Add("elemb", "b", false);
    std::string archive = FuzzScratchPath("seed.wad");
    writer.WriteFile(archive);
    larkwad::HeaderInfo info;
    std::string error;
    if (!larkwad::WriteHeaderFile(archive, "", info, error)) std::abort();
    std::string gz;
    HY_OS::ReadWholeFile(archive + ".hdr.gz", gz);
    std::string prefix(8, '\0');
    for (int i = 0; i < 4; ++i) prefix[i] = static_cast<char>(info.headerSize >> (8 * i));
    std::string withCrc = prefix;
    for (int i = 0; i < 4; ++i) withCrc[4 + i] = static_cast<char>(info.headerCrc >> (8 * i));
    return {prefix + gz, withCrc + gz};
}

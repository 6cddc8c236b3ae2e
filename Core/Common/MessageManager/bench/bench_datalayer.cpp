// Loading a 50,000-record file list in the XML and binary table-file forms, against TinyXML-2
// parsing the same XML bytes into its document, and one message's encode + decode.
#include <benchmark/benchmark.h>
#include <tinyxml2.h>

#include <malloc.h>

#include <cstdio>
#include <map>
#include <memory>

#include "DMLDatabase.h"
#include "DMLTableFileWriter.h"
#include "FileBinary.h"
#include "FileXML.h"
#include "MessageManager.h"
#include "ResourceManager.h"

namespace {

void LoadModules() {
    static bool loaded = false;
    if (loaded) return;
    MessageManager& manager = MessageManager::GetSingleton();
    manager.SetResourceManager(std::make_shared<ResourceManager>(HY_DATA_SOURCE_DIR));
    for (const char* module : {"BaseMessages", "ExtendedBaseMessages", "LoginMessages", "PatchMessages"}) {
        if (!manager.LoadMessageModule("", module)) std::fprintf(stderr, "cannot load %s\n", module);
    }
    loaded = true;
}

// A latest file list: "About" and one package table of `count` records with the eight fields.
const DMLDatabase& FileList(int count) {
    static std::map<int, std::unique_ptr<DMLDatabase>> lists;
    auto& slot = lists[count];
    if (!slot) {
        slot = std::make_unique<DMLDatabase>("LatestFileList");
        slot->MakeTable("About", false)->AppendRecord().GetField("Version").SetValue(uint32_t{1234});
        DMLTable* base = slot->MakeTable("Base", false);
        for (int i = 0; i < count; ++i) {
            DMLRecord& r = base->AppendRecord();
            std::string name = "Data/GameData/Area" + std::to_string(i % 97) + "/File" + std::to_string(i) + ".wad";
            r.GetField("SrcFileName").SetValue(std::string_view(name));
            r.GetField("TarFileName").SetValue(std::string_view(i % 3 ? std::string() : name));
            r.GetField("FileType").SetValue(static_cast<uint32_t>(i % 6));
            r.GetField("Size").SetValue(static_cast<uint32_t>(1000 + i * 37));
            r.GetField("CRC").SetValue(static_cast<uint32_t>(0x9E3779B9u * static_cast<uint32_t>(i)));
            r.GetField("HeaderSize").SetValue(static_cast<uint32_t>(i % 3 ? 0 : 4096));
            r.GetField("CompressedHeaderSize").SetValue(static_cast<uint32_t>(i % 3 ? 0 : 1500));
            r.GetField("HeaderCRC").SetValue(static_cast<uint32_t>(i * 7919));
        }
    }
    return *slot;
}

const std::string& XmlBytes(int count) {
    static std::map<int, std::string> bytes;
    auto& slot = bytes[count];
    if (slot.empty()) slot = WriteXmlTableFile(FileList(count), true);
    return slot;
}

const std::string& BinaryBytes(int count) {
    static std::map<int, std::string> bytes;
    auto& slot = bytes[count];
    if (slot.empty()) {
        LoadModules();
        if (!WriteBinaryTableFile(FileList(count), slot)) std::fprintf(stderr, "cannot write\n");
    }
    return slot;
}

// Loads the file-list table from `bytes` once per iteration through the storage `makeStorage`
// gives; freeing the tables is not part of loading them.
template <class MakeStorage>
void LoadFileListLoop(benchmark::State& state, const std::string& bytes, MakeStorage makeStorage) {
    for (auto _ : state) {
        auto db = std::make_unique<DMLDatabase>("LatestFileList");
        db->SetStorage(makeStorage());
        db->Load();
        DMLTable* base = db->FindTable("Base");
        if (!base || base->RecordCount() != static_cast<size_t>(state.range(0))) state.SkipWithError("bad load");
        benchmark::DoNotOptimize(base);
        state.PauseTiming();
        db.reset();
        state.ResumeTiming();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(bytes.size()));
}

void BM_XmlTableLoad(benchmark::State& state) {
    const std::string& bytes = XmlBytes(static_cast<int>(state.range(0)));
    LoadFileListLoop(state, bytes, [&] { return FileXML::FromView("LatestFileList.xml", bytes); });
}

void BM_TinyXml2Parse(benchmark::State& state) {
    const std::string& bytes = XmlBytes(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        auto document = std::make_unique<tinyxml2::XMLDocument>();
        if (document->Parse(bytes.data(), bytes.size()) != tinyxml2::XML_SUCCESS) state.SkipWithError("parse");
        benchmark::DoNotOptimize(document->RootElement());
        state.PauseTiming();
        document.reset();
        state.ResumeTiming();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(bytes.size()));
}

void BM_BinaryTableLoad(benchmark::State& state) {
    const std::string& bytes = BinaryBytes(static_cast<int>(state.range(0)));
    LoadFileListLoop(state, bytes, [&] { return FileBinary::FromView("LatestFileList.bin", bytes); });
}

void BM_MessageRoundTrip(benchmark::State& state) {
    LoadModules();
    MessageManager& manager = MessageManager::GetSingleton();
    DMLRecord request;
    manager.PrepMessage(request, "MSG_USER_AUTHEN");
    request.GetField("Rec1").SetValue(std::string(96, '\x5A'));
    request.GetField("MachineID").SetValue(uint64_t{0x00000A1B2C3D4E5F});
    request.GetField("Locale").SetValue("English");
    request.GetField("PatchClientID").SetValue("{0F8FAD5B-D9CB-469F-A165-70867728950E}");
    request.GetField("IsSteamPatcher").SetValue(uint8_t{0});
    std::string bytes;
    for (auto _ : state) {
        bytes.clear();
        manager.MessageToBinary(bytes, request);
        DMLRecord decoded;
        int used = manager.MessageFromBinary(decoded, reinterpret_cast<const uint8_t*>(bytes.data()),
                                             bytes.size(), 255);
        if (used != static_cast<int>(bytes.size())) state.SkipWithError("round trip");
        benchmark::DoNotOptimize(decoded);
    }
}

}  // namespace

BENCHMARK(BM_XmlTableLoad)->Arg(50000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TinyXml2Parse)->Arg(50000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BinaryTableLoad)->Arg(50000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MessageRoundTrip);

// Measured with the allocator's default settings: a launcher loads its file list into the cold
// heap it has at start-up, and every iteration here hands its records back to the system. Run
// with --warm_heap to keep freed memory in the process instead (no trimming, no mapped chunks
// below 32 MB), which shows the cost of the loading alone.
int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::string(argv[i]) == "--warm_heap") {
            mallopt(M_TRIM_THRESHOLD, 1 << 30);
            mallopt(M_MMAP_THRESHOLD, 32 << 20);
            for (int k = i; k + 1 < argc; ++k) argv[k] = argv[k + 1];
            --argc;
            break;
        }
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

// The latest file list as the patcher reads it: the list file's name as the server names it, the
// table file in either form loaded from the cache directory, and every record of the packages
// "Base" and "PatchClient" read with the checks that keep names below the install folder.
// Input: one byte for the form (even: binary, odd: XML), one byte n (at most 64), n bytes of the
// list file name the server gives, then the list file.
#include <cstdlib>
#include <string>

#include "DMLDatabase.h"
#include "DMLTable.h"
#include "DMLTableFileWriter.h"
#include "FuzzTarget.h"
#include "LatestFileList.h"
#include "MessageManager.h"
#include "OsFile.h"
#include "PackageFile.h"

namespace {

// The binary form's self-describing records are decoded with the message definitions, which the
// patcher loads before its first list.
void LoadModulesOnce() {
    static const bool loaded = [] {
        for (const char* module : {"BaseMessages", "ExtendedBaseMessages", "PatchMessages"})
            MessageManager::GetSingleton().LoadMessageModule(HY_DATA_SOURCE_DIR, module);
        return true;
    }();
    (void)loaded;
}

// A name the checks let through can only name a file directly inside the cache directory.
void CheckListFileName(const std::string& name) {
    if (!LatestFileList::IsPlainFileName(name)) return;
    if (name.find_first_of(std::string("/\\:\0", 4)) != std::string::npos || name == "." || name == "..")
        std::abort();
}

// A record the patcher accepts names files below its roots only.
void CheckPackage(const LatestFileList& list, const char* package) {
    const DMLTable* table = list.FindPackage(package);
    if (!table) return;
    PackageFile file;
    std::string problem;
    for (size_t i = 0; i < table->RecordCount(); ++i) {
        const DMLRecord* record = table->RecordAt(i);
        if (!record || !ReadPackageFile(*record, file, problem)) continue;
        std::string target(file.Target());
        if (!IsContainedRelativePath(std::string(file.srcFileName)) || !IsContainedRelativePath(target) ||
            target.find('\\') != std::string::npos)
            std::abort();
        FileUrl("http://patch.example/files", file.srcFileName, file.fileType, "?v=1");
    }
}

void AddFile(DMLDatabase& database, const std::string& package, const std::string& src, const std::string& tar,
             uint32_t type, uint32_t size, uint32_t crc) {
    DMLRecord& r = database.MakeTable(package, false)->AppendRecord();
    r.GetField("SrcFileName").SetValue(std::string_view(src));
    r.GetField("TarFileName").SetValue(std::string_view(tar));
    r.GetField("FileType").SetValue(type);
    r.GetField("Size").SetValue(size);
    r.GetField("CRC").SetValue(crc);
    r.GetField("HeaderSize").SetValue(uint32_t{0});
    r.GetField("CompressedHeaderSize").SetValue(uint32_t{0});
    r.GetField("HeaderCRC").SetValue(uint32_t{0});
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    LoadModulesOnce();
    if (size < 2) return 0;
    const bool xml = data[0] & 1;
    const size_t nameLength = data[1] % 65;
    if (size < 2 + nameLength) return 0;
    CheckListFileName(std::string(reinterpret_cast<const char*>(data + 2), nameLength));
    const char* fileName = xml ? "LatestFileList.xml" : "LatestFileList.bin";
    std::string path = FuzzScratchFile(fileName, data + 2 + nameLength, size - 2 - nameLength);
    LatestFileList list;
    list.IsListCurrent(HY_OS::DirectoryPart(path), xml ? LFT_Xml : LFT_Binary, fileName, 0, 0, 0);
    if (list.IsLoaded()) {
        CheckPackage(list, "Base");
        CheckPackage(list, "PatchClient");
    }
    return 0;
}

std::vector<std::string> HyFuzzSeeds() {
    LoadModulesOnce();
    DMLDatabase database("LatestFileList");
    database.MakeTable("About", false)->AppendRecord().GetField("Version").SetValue(uint32_t{7});
    AddFile(database, "Base", "Data/a.bin", "", 0, 3000, 0x12345678);
    AddFile(database, "Base", "Data/text.txt", "", 4, 90100, 0x9abcdef0);
    AddFile(database, "Base", "Data/src-name.dat", "Data\\Renamed.dat", 0, 777, 0x0badf00d);
    AddFile(database, "PatchClient", "Bin/LarkLauncher.exe", "", 0, 5000, 0x11111111);
    AddFile(database, "PatchClient", "Data/Root.wad", "", 3, 20000, 0x22222222);
    std::string binary;
    if (!WriteBinaryTableFile(database, binary)) std::abort();
    std::string name = "LatestFileList.xml";
    std::string prefix = std::string(1, '\1') + std::string(1, static_cast<char>(name.size())) + name;
    return {prefix + WriteXmlTableFile(database, true),
            std::string(1, '\0') + std::string(1, '\0') + binary};
}

// The INI reader on arbitrary text, from memory and from a file. Input: a section name and a key
// name, each ended by a line break, then the text; the fail-safe check's own section and keys
// are looked up as well.
#include <cstdlib>
#include <string>

#include "FuzzTarget.h"
#include "OsIniFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string input(reinterpret_cast<const char*>(data), size);
    size_t first = input.find('\n');
    size_t second = first == std::string::npos ? std::string::npos : input.find('\n', first + 1);
    if (second == std::string::npos) return 0;
    std::string section = input.substr(0, first);
    std::string key = input.substr(first + 1, second - first - 1);
    std::string text = input.substr(second + 1);

    for (size_t maxLength : {size_t{0}, size_t{7}, size_t{1023}}) {
        if (HY_OS::IniStringFromText(text, section, key, "", maxLength).size() > maxLength) std::abort();
    }
    HY_OS::IniUIntFromText(text, section, key, 17);
    std::string path = FuzzScratchFile("fuzz.ini", data + second + 1, size - second - 1);
    std::string viaFile = HY_OS::GetIniString(path, "PatchInfo", "DownloadURL", "", 1023);
    if (viaFile != HY_OS::IniStringFromText(text, "PatchInfo", "DownloadURL", "", 1023)) std::abort();
    HY_OS::GetIniUInt(path, "PatchInfo", "CRC32", 0);
    return 0;
}

std::vector<std::string> HyFuzzSeeds() {
    return {"PatchInfo\nCRC32\n[PatchInfo]\r\nCRC32=3899555185\r\nDownloadURL=http://h/FailSafePatch.exe\r\n",
            "S\nK\n; comment\n[S]\nK = \"quoted value\"\nN=-0x1F\n[T]\nK=other\n"};
}

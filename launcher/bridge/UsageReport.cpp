#include "UsageReport.h"

#include <sys/sysinfo.h>

#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <sstream>
#include <vector>

#include "LogMessage.h"
#include "OsFile.h"
#include "OsFileInfo.h"
#include "OsHttp.h"
#include "OsNetwork.h"

namespace {

constexpr const char* kAgent = "Halcyra Patcher";
constexpr uint32_t kReportTimeoutMs = 5000;

// The value of "Key:" in a /proc text of "Key: value" lines; false when missing.
bool FindValue(const std::string& text, const std::string& key, uint64_t& value) {
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        size_t colon = line.find(':');
        if (colon == std::string::npos) continue;
        std::string name = line.substr(0, colon);
        while (!name.empty() && (name.back() == ' ' || name.back() == '\t')) name.pop_back();
        if (name != key) continue;
        unsigned long long number = 0;
        if (std::sscanf(line.c_str() + colon + 1, "%llu", &number) != 1) return false;
        value = number;
        return true;
    }
    return false;
}

std::string ReadProcFile(const char* path) {
    std::string text;
    HY_OS::ReadWholeFile(path, text);
    return text;
}

}  // namespace

std::string FormatUsageReport(const std::string& name, const UsageFacts& facts) {
    std::string text = "?message=" + name + ",18,AcctStatus," + (facts.newPlayer ? "NEW," : "RET,") + "IdType,";
    if (!facts.accountName.empty())
        text += "N,Id," + facts.accountName;
    else
        text += "I,Id," + std::to_string(facts.accountId);
    text += ",MAC," + facts.hardwareAddress;
    text += ",OST," + facts.osText;
    text += ",Inst," + facts.installDate;
    text += ",DiskSpace," + std::to_string(facts.freeDiskMiB) + ",";
    text += facts.memoryText;
    text += ",CPUFMS," + facts.processorText;
    text += ",KBDown," + std::to_string(facts.kbDown);
    text += ",SecDown," + std::to_string(facts.secDown);
    text += ",PatchClientID," + facts.patchClientId;
    text += ",CurrentState," + facts.currentState;
    text += ",FileProgress," + std::to_string(facts.fileProgress);
    text += ",TotalProgress," + std::to_string(facts.totalProgress);
    return text;
}

const char* OsText(int osCode) {
    switch (osCode) {
        case 0: return "LI";
        case 1: return "OSX";
        case 100: return "LW";
        case 101: return "95";
        case 102: return "98";
        case 103: return "ME";
        case 104: return "NT";
        case 105: return "2K";
        case 106: return "XP";
        case 107: return "03";
        case 108: return "VI";
        case 109: return "08";
        case 110: return "7";
        case 114: return "FW";
        default: return "UN";
    }
}

std::string MemoryTextFromMeminfo(const std::string& meminfo) {
    uint64_t total = 0, available = 0, swapTotal = 0, swapFree = 0;
    if (!FindValue(meminfo, "MemTotal", total) || !FindValue(meminfo, "MemAvailable", available))
        return "PT,0,PA,0,VT,0,VA,0";
    FindValue(meminfo, "SwapTotal", swapTotal);
    FindValue(meminfo, "SwapFree", swapFree);
    // /proc/meminfo counts in KiB.
    char text[128];
    std::snprintf(text, sizeof text, "PT,%llu,PA,%llu,VT,%llu,VA,%llu",
                  static_cast<unsigned long long>(total >> 10), static_cast<unsigned long long>(available >> 10),
                  static_cast<unsigned long long>((total + swapTotal) >> 10),
                  static_cast<unsigned long long>((available + swapFree) >> 10));
    return text;
}

std::string MemoryText() {
    std::string meminfo = ReadProcFile("/proc/meminfo");
    if (!meminfo.empty()) return MemoryTextFromMeminfo(meminfo);
    struct sysinfo info {};
    if (::sysinfo(&info) != 0) return "PT,0,PA,0,VT,0,VA,0";
    auto mib = [&](unsigned long count) {
        return static_cast<unsigned long long>((static_cast<uint64_t>(count) * info.mem_unit) >> 20);
    };
    char text[128];
    std::snprintf(text, sizeof text, "PT,%llu,PA,%llu,VT,%llu,VA,%llu", mib(info.totalram), mib(info.freeram),
                  mib(info.totalram) + mib(info.totalswap), mib(info.freeram) + mib(info.freeswap));
    return text;
}

std::string ProcessorIdentifierFromCpuInfo(const std::string& cpuinfo) {
    // The first processor's block ends at the first empty line.
    std::string first = cpuinfo.substr(0, cpuinfo.find("\n\n"));
    uint64_t family = 0, model = 0, stepping = 0;
    if (!FindValue(first, "cpu family", family) || !FindValue(first, "model", model) ||
        !FindValue(first, "stepping", stepping))
        return {};
    char text[96];
    std::snprintf(text, sizeof text, "x86 Family %llu Model %llu Stepping %llu",
                  static_cast<unsigned long long>(family), static_cast<unsigned long long>(model),
                  static_cast<unsigned long long>(stepping));
    return text;
}

std::string ProcessorTextFromIdentifier(const std::string& identifier) {
    size_t at = identifier.find("Family");
    int family = 0, model = 0, stepping = 0;
    char words[3][32];
    if (at == std::string::npos ||
        std::sscanf(identifier.c_str() + at, "%31s %d %31s %d %31s %d", words[0], &family, words[1], &model, words[2],
                    &stepping) != 6)
        return "0-0-0";
    return std::to_string(family) + "-" + std::to_string(model) + "-" + std::to_string(stepping);
}

std::string ProcessorText() {
    return ProcessorTextFromIdentifier(ProcessorIdentifierFromCpuInfo(ReadProcFile("/proc/cpuinfo")));
}

std::string HardwareAddressText() {
    uint8_t id[6] = {};
    if (!HY_OS::GetMachineId(id)) return {};
    char text[16];
    std::snprintf(text, sizeof text, "%02X%02X%02X%02X%02X%02X", id[0], id[1], id[2], id[3], id[4], id[5]);
    return text;
}

std::string InstallDateText(const std::string& root) {
    std::vector<HY_OS::DirectoryEntry> entries;
    if (!HY_OS::ListDirectory(root.empty() ? "." : root, entries) || entries.empty()) return {};
    // The file system keeps no creation time that every system offers; the first entry's last
    // write time stands in for it (the game root's entries are written once, at installation).
    HY_OS::FileInfo info;
    if (!HY_OS::GetFileInfo(HY_OS::JoinPath(root, entries.front().name), info)) return {};
    std::time_t seconds = static_cast<std::time_t>(info.lastWriteMs / 1000);
    std::tm utc{};
    if (::gmtime_r(&seconds, &utc) == nullptr) return {};
    char text[32];
    std::snprintf(text, sizeof text, "%04u-%02u-%02u", static_cast<unsigned>(utc.tm_year + 1900),
                  static_cast<unsigned>(utc.tm_mon + 1), static_cast<unsigned>(utc.tm_mday));
    return text;
}

void SendUsageReport(const std::string& address) {
    std::shared_ptr<HY_OS::HttpInternet> internet = HY_OS::HttpInternet::Open(kAgent, 0);
    if (!internet) return;
    internet->SetSendTimeoutMs(kReportTimeoutMs);
    internet->SetReceiveTimeoutMs(kReportTimeoutMs);
    uint32_t error = 0;
    // The request is made and dropped: the server's answer tells the launcher nothing.
    std::unique_ptr<HY_OS::HttpRequest> request = HY_OS::HttpRequest::OpenUrl(internet, address, error);
    if (!request)
        HY_LOG(LL_DebugLow, "PATCH_CLIENT", "CPatchInterface::SendUsageReport", "Usage report not sent (%u).", error);
}

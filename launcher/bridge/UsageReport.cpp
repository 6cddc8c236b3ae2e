#include "UsageReport.h"

#include <chrono>
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
#include "OsSystemInfo.h"

namespace {

constexpr const char* kAgent = "Halcyra Patcher";
constexpr uint32_t kReportTimeoutMs = 5000;

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

std::string MemoryTextFromFigures(const HY_OS::MemoryFigures& figures) {
    char text[128];
    std::snprintf(text, sizeof text, "PT,%llu,PA,%llu,VT,%llu,VA,%llu",
                  static_cast<unsigned long long>(figures.totalPhysical >> 20),
                  static_cast<unsigned long long>(figures.availablePhysical >> 20),
                  static_cast<unsigned long long>(figures.totalVirtual >> 20),
                  static_cast<unsigned long long>(figures.availableVirtual >> 20));
    return text;
}

std::string MemoryTextFromMeminfo(const std::string& meminfo) {
    HY_OS::MemoryFigures figures;
    if (!HY_OS::MemoryFiguresFromMeminfo(meminfo, figures)) return "PT,0,PA,0,VT,0,VA,0";
    return MemoryTextFromFigures(figures);
}

std::string MemoryText() {
    HY_OS::MemoryFigures figures;
    if (!HY_OS::GetMemoryFigures(figures)) return "PT,0,PA,0,VT,0,VA,0";
    return MemoryTextFromFigures(figures);
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
    return ProcessorTextFromIdentifier(HY_OS::GetProcessorIdentifier());
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
    using namespace std::chrono;
    const sys_seconds written{seconds{static_cast<int64_t>(info.lastWriteMs / 1000)}};
    const year_month_day utc{floor<days>(written)};
    char text[32];
    std::snprintf(text, sizeof text, "%04u-%02u-%02u", static_cast<unsigned>(static_cast<int>(utc.year())),
                  static_cast<unsigned>(utc.month()), static_cast<unsigned>(utc.day()));
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

// The usage report the launcher appends to page addresses ("?message=...") and sends to the
// metrics address: who the player is, the machine, and how far the run has come.
#pragma once

#include <cstdint>
#include <string>

#include "OsSystemInfo.h"

// Everything the report says, gathered by the window bridge.
struct UsageFacts {
    bool newPlayer = false;
    std::string accountName;   // empty while no account name is known
    uint64_t accountId = 0;    // used when no account name is known
    std::string hardwareAddress;
    std::string osText;
    std::string installDate;
    uint64_t freeDiskMiB = 0;
    std::string memoryText;
    std::string processorText;
    uint64_t kbDown = 0;
    int secDown = 0;
    std::string patchClientId;
    std::string currentState;
    int fileProgress = 0;
    int totalProgress = 0;
};

// "?message=<name>,18,AcctStatus,..." with the facts in their fixed order, inserted unescaped.
std::string FormatUsageReport(const std::string& name, const UsageFacts& facts);

// The report's text for an operating-system code: 0 "LI", 1 "OSX", 100 "LW", ... "UN".
const char* OsText(int osCode);

// "PT,%llu,PA,%llu,VT,%llu,VA,%llu" in MiB: total and available physical memory, total and
// available virtual memory.
std::string MemoryTextFromFigures(const HY_OS::MemoryFigures& figures);
// The same from a Linux /proc/meminfo text (virtual memory = physical memory plus swap);
// "PT,0,PA,0,VT,0,VA,0" when the text lacks the figures.
std::string MemoryTextFromMeminfo(const std::string& meminfo);
// The same for this machine.
std::string MemoryText();

// "family-model-stepping" read from the word "Family" of an identifier on; "0-0-0" when the
// identifier or the word is missing.
std::string ProcessorTextFromIdentifier(const std::string& identifier);
// The processor text of this machine, from the system's processor identifier.
std::string ProcessorText();

// The last network adapter's 6-byte address as twelve upper-case hex digits; empty when none.
std::string HardwareAddressText();
// "%04u-%02u-%02u" (UTC) of the first entry found in the folder `root`; empty when none.
std::string InstallDateText(const std::string& root);

// Sends the report to `address` (the metrics address with the report appended): one GET with the
// agent "Halcyra Patcher" and 5000 ms time-outs; the answer is not read and a failure is ignored.
void SendUsageReport(const std::string& address);

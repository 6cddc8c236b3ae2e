// The launcher's settings from "PatchConfig.xml": server addresses, web addresses, file names and
// registry keys. One record exists per process; the rest of the launcher reads it through
// PatchClientConfig::Get().
#pragma once

#include <cstdint>
#include <string>

class PatchClientConfig {
public:
    // Builds the record with its defaults and makes it the process-wide configuration.
    PatchClientConfig();
    // Stops being the process-wide configuration.
    ~PatchClientConfig();
    PatchClientConfig(const PatchClientConfig&) = delete;
    PatchClientConfig& operator=(const PatchClientConfig&) = delete;

    // The process-wide configuration, nullptr while none exists.
    static PatchClientConfig* Get();

    // Reads the file. True when it was parsed and every mandatory key was found; false after
    // logging why not. Values read before a missing mandatory key stay in the record.
    bool LoadFile(const std::string& fileName);

    std::string PatchClientDataDir = "./";
    std::string PatchServerHostname;
    uint16_t PatchServerPort = 0;
    std::string LoginHostname;
    uint16_t LoginPort = 0;
    std::string GameClientExecutable;
    std::string CommandLine;
    std::string Language;  // not in the file: the start-up reads it from "Lang.txt"
    std::string EulaURL;
    std::string ServerListURL;
    std::string FailSafeURL;
    std::string LocalNewsURL;
    std::string NewsURL;
    std::string HomeURL;
    std::string RegistrationURL;
    std::string MyAccountURL;
    std::string PatchErrorURL;
    std::string FallBackURL;
    std::string SilentMetricsURL;
    std::string GameOptions;
    std::string Skin;
    std::string AppStartRegistryKey;
    std::string GameSpecificRegistry;
    std::string PatchClientIDRegKey;
    std::string PatchClientIDRegistry;
    std::string PatchInfoDirectory = "PatchInfo";
};

// The decimal value of the leading digits of a port text, kept in 16 bits: a text that is not a
// number gives 0, a larger value wraps, and one beyond the 32-bit range counts as the largest.
uint16_t PortFromText(const char* text);

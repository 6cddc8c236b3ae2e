#include "PatchClientConfig.h"

#include <tinyxml2.h>

#include <atomic>
#include <climits>
#include <cstdlib>

#include "LogMessage.h"

namespace {

std::atomic<PatchClientConfig*> g_config{nullptr};

constexpr const char* kCategory = "CORE_PATCH_CLNT";
constexpr const char* kFunction = "PatchClientConfig::LoadFile";

struct StringKey {
    const char* element;
    const char* attribute;
    bool mandatory;
    std::string PatchClientConfig::*field;
};

// The string settings in the order they are read.
const StringKey kStringKeys[] = {
    {"PatchClientDataDir", "path", false, &PatchClientConfig::PatchClientDataDir},
    {"PatchServerHostname", "host", true, &PatchClientConfig::PatchServerHostname},
    {"LoginHostname", "host", true, &PatchClientConfig::LoginHostname},
    {"GameClientExecutable", "file", true, &PatchClientConfig::GameClientExecutable},
    {"CommandLine", "args", false, &PatchClientConfig::CommandLine},
    {"LocalNewsURL", "path", false, &PatchClientConfig::LocalNewsURL},
    {"NewsURL", "path", false, &PatchClientConfig::NewsURL},
    {"HomeURL", "path", false, &PatchClientConfig::HomeURL},
    {"RegistrationURL", "path", false, &PatchClientConfig::RegistrationURL},
    {"MyAccountURL", "path", false, &PatchClientConfig::MyAccountURL},
    {"PatchErrorURL", "path", false, &PatchClientConfig::PatchErrorURL},
    {"FallBackURL", "path", false, &PatchClientConfig::FallBackURL},
    {"SilentMetricsURL", "path", false, &PatchClientConfig::SilentMetricsURL},
    {"GameOptions", "path", false, &PatchClientConfig::GameOptions},
    {"Skin", "file", true, &PatchClientConfig::Skin},
    {"AppStartRegistryKey", "key", true, &PatchClientConfig::AppStartRegistryKey},
    {"GameSpecificRegistry", "registry", false, &PatchClientConfig::GameSpecificRegistry},
    {"PatchClientIDRegKey", "key", false, &PatchClientConfig::PatchClientIDRegKey},
    {"PatchClientIDRegistry", "registry", false, &PatchClientConfig::PatchClientIDRegistry},
    {"PatchInfoDirectory", "name", false, &PatchClientConfig::PatchInfoDirectory},
    {"EulaURL", "path", false, &PatchClientConfig::EulaURL},
    {"ServerListURL", "path", false, &PatchClientConfig::ServerListURL},
    {"FailSafeURL", "path", false, &PatchClientConfig::FailSafeURL},
};

struct PortKey {
    const char* element;
    uint16_t PatchClientConfig::*field;
};

const PortKey kPortKeys[] = {
    {"PatchServerPort", &PatchClientConfig::PatchServerPort},
    {"LoginPort", &PatchClientConfig::LoginPort},
};

// The value of `attribute` on the first child element `element` of `root`; nullptr when either
// is missing.
const char* FindSetting(const tinyxml2::XMLElement* root, const char* element,
                        const char* attribute) {
    const tinyxml2::XMLElement* child = root->FirstChildElement(element);
    return child ? child->Attribute(attribute) : nullptr;
}

void LogMissingMandatory(const char* element) {
    HY_LOG(LL_Error, kCategory, kFunction,
           "Unable to read mandatory parameter %s from the config file.", element);
}

}  // namespace

PatchClientConfig::PatchClientConfig() { g_config.store(this); }

PatchClientConfig::~PatchClientConfig() {
    PatchClientConfig* self = this;
    g_config.compare_exchange_strong(self, nullptr);
}

PatchClientConfig* PatchClientConfig::Get() { return g_config.load(); }

uint16_t PortFromText(const char* text) {
    // strtoll reads the same leading digits as atoi but, unlike atoi, has a defined result for
    // texts too long for an int: it clamps, and so does this.
    long long value = std::strtoll(text, nullptr, 10);
    if (value > INT_MAX) value = INT_MAX;
    if (value < INT_MIN) value = INT_MIN;
    return static_cast<uint16_t>(static_cast<uint32_t>(static_cast<int32_t>(value)));
}

bool PatchClientConfig::LoadFile(const std::string& fileName) {
    tinyxml2::XMLDocument document;
    if (document.LoadFile(fileName.c_str()) != tinyxml2::XML_SUCCESS) {
        HY_LOG(LL_Error, kCategory, kFunction, "Error loading config file: %s.", fileName.c_str());
        return false;
    }
    const tinyxml2::XMLElement* root = document.FirstChildElement("root");
    if (root == nullptr) {
        HY_LOG(LL_Error, kCategory, kFunction, "Error reading config file's Root element.");
        return false;
    }
    for (const StringKey& key : kStringKeys) {
        if (const char* value = FindSetting(root, key.element, key.attribute)) {
            this->*key.field = value;
        } else if (key.mandatory) {
            LogMissingMandatory(key.element);
            return false;
        } else {
            HY_LOG(LL_Warning, kCategory, kFunction,
                   "Unable to read optional parameter %s from the config file.", key.element);
        }
    }
    for (const PortKey& key : kPortKeys) {
        const char* value = FindSetting(root, key.element, "port");
        if (value == nullptr) {
            LogMissingMandatory(key.element);
            return false;
        }
        this->*key.field = PortFromText(value);
    }
    return true;
}

#include "OpenFileTypes.h"

#include <glib.h>
#include <sys/stat.h>

#include "LogMessage.h"
#include "PropertyList.h"

namespace larkhost {
namespace {

bool EqualIgnoringCase(const std::string& a, const std::string& b) {
    gchar* fa = g_utf8_casefold(a.c_str(), -1);
    gchar* fb = g_utf8_casefold(b.c_str(), -1);
    bool same = g_strcmp0(fa, fb) == 0;
    g_free(fa);
    g_free(fb);
    return same;
}

void AddFromEntry(const PropertyValue& entry, const BottleInfo& bottle,
                  std::vector<std::string>& out) {
    const PropertyValue* description = entry.Find("Description");
    if (description == nullptr || description->kind != PropertyValue::Kind::String ||
        !EqualIgnoringCase(description->text, bottle.name))
        return;
    const PropertyValue* associations = entry.Find("Extension Associations/");
    if (associations == nullptr) return;
    for (const auto& [key, value] : associations->entries) {
        std::string extension;
        const PropertyValue* given = value.Find("Extension");
        if (given != nullptr && given->kind == PropertyValue::Kind::String) {
            extension = given->text;
        } else {
            std::string head = key.substr(0, key.find('/'));
            extension = head.size() > 1 ? head.substr(1) : std::string();
        }
        if (!extension.empty()) out.push_back(extension);
    }
}

}  // namespace

std::string AssociationsPath(const BottleInfo& bottle) {
    return bottle.winePrefix + "/desktopdata/ptassoc/ptassoc_macosx.plist";
}

std::vector<std::string> AssociatedExtensions(const BottleInfo& bottle) {
    std::vector<std::string> out;
    if (bottle.winePrefix.empty()) return out;
    std::string path = AssociationsPath(bottle);
    struct stat st {};
    if (stat(path.c_str(), &st) != 0) return out;  // the bottle registered no associations
    std::string error;
    auto list = ReadPropertyList(path, error);
    if (!list) {
        HY_LOG(LL_Warning, "HOST", "PTServer::associatedExtensions",
               "Failed to parse ptassoc plist %s: %s\n", path.c_str(), error.c_str());
        return out;
    }
    if (list->kind == PropertyValue::Kind::Dictionary)
        for (const auto& [key, entry] : list->entries) AddFromEntry(entry, bottle, out);
    else if (list->kind == PropertyValue::Kind::Array)
        for (const auto& entry : list->items) AddFromEntry(entry, bottle, out);
    return out;
}

std::vector<std::string> AllowedFileTypes(const BottleInfo& bottle) {
    std::vector<std::string> types = {"exe", "inf", "ptarchive", "lnk"};
    for (auto& extension : AssociatedExtensions(bottle)) types.push_back(std::move(extension));
    return types;
}

bool OpenPanelShows(const std::string& name, bool isFolder, const std::vector<std::string>& types) {
    if (isFolder) return true;
    size_t dot = name.rfind('.');
    if (dot == std::string::npos || dot + 1 >= name.size()) return false;
    std::string extension = name.substr(dot + 1);
    for (const auto& type : types)
        if (EqualIgnoringCase(extension, type)) return true;
    return false;
}

}  // namespace larkhost

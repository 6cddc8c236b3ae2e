#include "Repository.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <sstream>

#include "OsFile.h"
#include "PublishManifest.h"

namespace larkpublish {

namespace {

bool ParseU32(const std::string& text, uint32_t& value) {
    if (text.empty() || text.size() > 10) return false;
    for (char c : text)
        if (c < '0' || c > '9') return false;
    unsigned long long number = std::strtoull(text.c_str(), nullptr, 10);
    if (number > UINT32_MAX) return false;
    value = static_cast<uint32_t>(number);
    return true;
}

}  // namespace

bool RepositoryInfo::ServesLocale(const std::string& locale) const {
    return std::find(locales.begin(), locales.end(), locale) != locales.end();
}

std::string RepositoryInfo::ListFileName(uint32_t type) const {
    return listName + (type == 2 ? ".bin" : ".xml");
}

std::string RepositoryInfo::ListPath(uint32_t type) const {
    return "lists/" + std::to_string(version) + "/" + ListFileName(type);
}

std::string RenderRepositoryInfo(const RepositoryInfo& info) {
    std::string out =
        "# Larkspur patch repository: written by larkpublish, served by larkserver patch.\n";
    out += "version " + std::to_string(info.version) + "\n";
    out += "list-name " + info.listName + "\n";
    out += "list-type " + std::to_string(info.listType) + "\n";
    out += "locales";
    for (const std::string& locale : info.locales) out += " " + locale;
    out += "\n";
    for (const RepositoryPackage& package : info.packages)
        out += "package " + package.name + (package.required ? " required\n" : " optional\n");
    return out;
}

bool ParseRepositoryInfo(const std::string& text, RepositoryInfo& info, std::string& error) {
    info = RepositoryInfo{};
    std::istringstream in(text);
    std::string line;
    bool haveVersion = false;
    for (int number = 1; std::getline(in, line); ++number) {
        size_t hash = line.find('#');
        if (hash != std::string::npos) line.erase(hash);
        std::istringstream words(line);
        std::string key;
        if (!(words >> key)) continue;
        std::vector<std::string> values;
        for (std::string value; words >> value;) values.push_back(value);
        std::string at = std::string(kRepositoryFile) + " line " + std::to_string(number) + ": ";
        if (key == "version" && values.size() == 1 && ParseU32(values[0], info.version)) {
            haveVersion = true;
        } else if (key == "list-name" && values.size() == 1 && IsPublishablePath(values[0]) &&
                   values[0].find('/') == std::string::npos) {
            info.listName = values[0];
        } else if (key == "list-type" && values.size() == 1 &&
                   (values[0] == "1" || values[0] == "2")) {
            info.listType = values[0] == "1" ? 1 : 2;
        } else if (key == "locales") {
            info.locales = values;
        } else if (key == "package" && values.size() == 2 && IsPackageName(values[0]) &&
                   (values[1] == "required" || values[1] == "optional")) {
            info.packages.push_back({values[0], values[1] == "required"});
        } else {
            error = at + "cannot read '" + line + "'";
            return false;
        }
    }
    if (!haveVersion) {
        error = std::string(kRepositoryFile) + " names no version";
        return false;
    }
    return true;
}

bool LoadRepositoryInfo(const std::string& repository, RepositoryInfo& info, std::string& error) {
    std::string text;
    std::string path = HY_OS::JoinPath(repository, kRepositoryFile);
    if (!HY_OS::ReadWholeFile(path, text)) {
        error = "cannot read " + path;
        return false;
    }
    return ParseRepositoryInfo(text, info, error);
}

std::string StoredPath(uint32_t crc, uint32_t size, const std::string& path) {
    char key[32];
    std::snprintf(key, sizeof key, "%08x-%u", crc, size);
    return std::string("files/") + key + "/" + path;
}

}  // namespace larkpublish

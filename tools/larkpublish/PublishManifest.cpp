#include "PublishManifest.h"

#include <sstream>

#include "OsFile.h"

namespace larkpublish {

namespace {

struct TypeName {
    PublishFileType type;
    const char* name;
};
constexpr TypeName kTypeNames[] = {
    {PFT_Plain, "plain"}, {PFT_Wad, "wad"}, {PFT_Gzip, "gzip"}, {PFT_DynamicWad, "dynamic-wad"}};

bool IsNameChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
           c == '_' || c == '-' || c == '+' || c == '~' || c == '@' || c == '(' || c == ')';
}

std::vector<std::string> Words(const std::string& line) {
    std::istringstream in(line);
    std::vector<std::string> words;
    for (std::string word; in >> word;) words.push_back(word);
    return words;
}

std::string At(int line) { return "manifest line " + std::to_string(line) + ": "; }

bool IsFolder(const std::string& path) { return !path.empty() && path.back() == '/'; }

// A path, or a folder path with its final '/'.
bool IsPublishableEntryPath(const std::string& path) {
    return IsPublishablePath(IsFolder(path) ? path.substr(0, path.size() - 1) : path);
}

}  // namespace

const char* FileTypeName(PublishFileType type) {
    for (const TypeName& entry : kTypeNames)
        if (entry.type == type) return entry.name;
    return "plain";
}

bool FileTypeFromName(const std::string& name, PublishFileType& type) {
    for (const TypeName& entry : kTypeNames) {
        if (name == entry.name) {
            type = entry.type;
            return true;
        }
    }
    return false;
}

bool IsPublishablePath(const std::string& path) {
    if (path.empty()) return false;
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find('/', start);
        if (end == std::string::npos) end = path.size();
        std::string_view part(path.data() + start, end - start);
        if (part.empty() || part == "." || part == "..") return false;
        for (char c : part)
            if (!IsNameChar(c)) return false;
        start = end + 1;
    }
    return true;
}

bool IsPackageName(const std::string& name) {
    if (name.empty() || name.size() > 200 || name[0] == '_' || name == "About") return false;
    return IsPublishablePath(name);
}

bool ParseManifest(const std::string& text, Manifest& manifest, std::string& error) {
    manifest = Manifest{};
    std::istringstream in(text);
    std::string line;
    int number = 0;
    while (std::getline(in, line)) {
        ++number;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        size_t hash = line.find('#');
        if (hash != std::string::npos) line.erase(hash);
        std::vector<std::string> words = Words(line);
        if (words.empty()) continue;
        if (words[0] == "package") {
            if (words.size() != 3 || (words[2] != "required" && words[2] != "optional")) {
                error = At(number) + "expected 'package <name> required|optional'";
                return false;
            }
            if (!IsPackageName(words[1])) {
                error = At(number) + "'" + words[1] + "' cannot name a package (letters, digits, " +
                        "\"._-+~@()\" and '/' between parts; not \"About\", not starting with '_')";
                return false;
            }
            for (const ManifestPackage& other : manifest.packages) {
                if (other.name == words[1]) {
                    error = At(number) + "package " + words[1] + " is declared twice";
                    return false;
                }
            }
            manifest.packages.push_back({words[1], words[2] == "required", {}, number});
            continue;
        }
        PublishFileType type;
        if (!FileTypeFromName(words[0], type)) {
            error = At(number) + "unknown word '" + words[0] +
                    "' (expected package, plain, wad, gzip or dynamic-wad)";
            return false;
        }
        if (manifest.packages.empty()) {
            error = At(number) + "a file line comes before the first package line";
            return false;
        }
        if (words.size() < 2 || words.size() > 3) {
            error = At(number) + "expected '" + words[0] + " <path> [<target>]'";
            return false;
        }
        ManifestEntry entry{words[1], words.size() == 3 ? words[2] : std::string(), type, number};
        if (!IsPublishableEntryPath(entry.path) ||
            (!entry.target.empty() && !IsPublishableEntryPath(entry.target))) {
            error = At(number) + "the path '" +
                    (IsPublishableEntryPath(entry.path) ? entry.target : entry.path) +
                    "' is not a relative path of letters, digits and \"._-+~@()\" parts";
            return false;
        }
        if (!entry.target.empty() && IsFolder(entry.path) != IsFolder(entry.target)) {
            error = At(number) + "a folder (ending in '/') installs to a folder, a file to a file";
            return false;
        }
        manifest.packages.back().entries.push_back(entry);
    }
    if (manifest.packages.empty()) {
        error = "the manifest declares no package";
        return false;
    }
    return true;
}

bool LoadManifest(const std::string& path, Manifest& manifest, std::string& error) {
    std::string text;
    if (!HY_OS::ReadWholeFile(path, text)) {
        error = "cannot read the manifest " + path;
        return false;
    }
    return ParseManifest(text, manifest, error);
}

}  // namespace larkpublish

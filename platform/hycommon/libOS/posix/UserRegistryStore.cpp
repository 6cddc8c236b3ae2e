#include "UserRegistryStore.h"

#include "OsEnv.h"
#include "OsFile.h"

namespace {

// Tabs, line breaks and backslashes inside a field are written as \t, \n, \r and \\.
std::string Escape(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
            case '\\':
                out += "\\\\";
                break;
            case '\t':
                out += "\\t";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            default:
                out += c;
                break;
        }
    }
    return out;
}

bool Unescape(const std::string& text, std::string& out) {
    out.clear();
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            out += text[i];
            continue;
        }
        if (++i == text.size()) return false;
        switch (text[i]) {
            case '\\':
                out += '\\';
                break;
            case 't':
                out += '\t';
                break;
            case 'n':
                out += '\n';
                break;
            case 'r':
                out += '\r';
                break;
            default:
                return false;
        }
    }
    return true;
}

}  // namespace

UserRegistryStore::UserRegistryStore(std::string path) : m_path(std::move(path)) {}

std::string UserRegistryStore::DefaultPath() {
    std::string base;
    if (!HY_OS::GetEnv("XDG_CONFIG_HOME", base) || base.empty()) {
        std::string home;
        if (!HY_OS::GetEnv("HOME", home) || home.empty()) return {};
        base = HY_OS::JoinPath(home, ".config");
    }
    return HY_OS::JoinPath(HY_OS::JoinPath(base, "Larkspur"), "UserRegistry.txt");
}

bool UserRegistryStore::Load(Values& values) const {
    values.clear();
    if (m_path.empty()) return false;
    if (!HY_OS::FileExists(m_path)) return true;
    std::string content;
    if (!HY_OS::ReadWholeFile(m_path, content)) return false;
    size_t start = 0;
    while (start < content.size()) {
        size_t end = content.find('\n', start);
        if (end == std::string::npos) end = content.size();
        std::string line = content.substr(start, end - start);
        start = end + 1;
        if (line.empty()) continue;
        size_t first = line.find('\t');
        size_t second = first == std::string::npos ? first : line.find('\t', first + 1);
        std::string key, name, value;
        if (second == std::string::npos || line.find('\t', second + 1) != std::string::npos ||
            !Unescape(line.substr(0, first), key) ||
            !Unescape(line.substr(first + 1, second - first - 1), name) ||
            !Unescape(line.substr(second + 1), value)) {
            return false;
        }
        values[{key, name}] = value;
    }
    return true;
}

bool UserRegistryStore::ReadString(const std::string& key, const std::string& name,
                                   std::string& value) const {
    Values values;
    if (!Load(values)) return false;
    auto found = values.find({key, name});
    if (found == values.end()) return false;
    value = found->second;
    return true;
}

int UserRegistryStore::OpenKey(const std::string& key) const {
    Values values;
    if (!Load(values)) return 5;
    auto found = values.lower_bound({key, std::string()});
    return found != values.end() && found->first.first == key ? 0 : 2;
}

bool UserRegistryStore::WriteString(const std::string& key, const std::string& name,
                                    const std::string& value) {
    Values values;
    // A store that cannot be read whole is left alone rather than replaced by a partial one.
    if (!Load(values)) return false;
    values[{key, name}] = value;
    std::string content;
    for (const auto& [where, text] : values)
        content += Escape(where.first) + "\t" + Escape(where.second) + "\t" + Escape(text) + "\n";
    std::string directory = HY_OS::DirectoryPart(m_path);
    if (!directory.empty() && !HY_OS::CreateDirectories(directory)) return false;
    return HY_OS::WriteFileAtomic(m_path, content);
}

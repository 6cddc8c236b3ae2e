#include "GameLaunch.h"

#include <unistd.h>

#include <cctype>

#include "OsEnv.h"
#include "OsFile.h"

std::vector<std::string> SplitCommandLine(const std::string& commandLine) {
    std::vector<std::string> pieces;
    std::string piece;
    bool inPiece = false;
    bool quoted = false;
    for (char c : commandLine) {
        if (c == '"') {
            quoted = !quoted;
            inPiece = true;
        } else if (!quoted && (c == ' ' || c == '\t')) {
            if (inPiece) pieces.push_back(std::move(piece));
            piece.clear();
            inPiece = false;
        } else {
            piece += c;
            inPiece = true;
        }
    }
    if (inPiece) pieces.push_back(std::move(piece));
    return pieces;
}

std::string FindProgram(const std::string& name) {
    if (name.empty()) return {};
    if (name.find('/') != std::string::npos) return ::access(name.c_str(), X_OK) == 0 ? name : std::string();
    std::string path;
    if (!HY_OS::GetEnv("PATH", path)) path = "/usr/local/bin:/usr/bin:/bin";
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find(':', start);
        if (end == std::string::npos) end = path.size();
        std::string folder = path.substr(start, end - start);
        std::string candidate = HY_OS::JoinPath(folder.empty() ? "." : folder, name);
        if (::access(candidate.c_str(), X_OK) == 0 && !HY_OS::IsDirectory(candidate)) return candidate;
        start = end + 1;
    }
    return {};
}

bool GameProgramFor(const std::vector<std::string>& pieces, std::string& program,
                    std::vector<std::string>& arguments) {
    if (pieces.empty() || pieces.front().empty()) return false;
    const std::string& first = pieces.front();
    std::string suffix = first.size() >= 4 ? first.substr(first.size() - 4) : std::string();
    for (char& c : suffix) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (suffix == ".exe") {
        std::string wine;
        if (!HY_OS::GetEnv("LARK_WINE", wine) || wine.empty()) wine = "wine";
        program = FindProgram(wine);
        if (program.empty()) return false;
        arguments.assign(pieces.begin(), pieces.end());
        return true;
    }
    program = first;
    arguments.assign(pieces.begin() + 1, pieces.end());
    return true;
}

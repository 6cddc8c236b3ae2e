#include "GameLaunch.h"

#include <cctype>

#include "OsEnv.h"
#include "OsFile.h"
#include "OsSystemInfo.h"

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

std::string FindProgram(const std::string& name) { return HY_OS::FindProgramOnPath(name); }

bool GameProgramFor(const std::vector<std::string>& pieces, std::string& program,
                    std::vector<std::string>& arguments) {
    if (pieces.empty() || pieces.front().empty()) return false;
    const std::string& first = pieces.front();
    std::string suffix = first.size() >= 4 ? first.substr(first.size() - 4) : std::string();
    for (char& c : suffix) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (suffix == ".exe" && !HY_OS::RunsWindowsProgramsDirectly()) {
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

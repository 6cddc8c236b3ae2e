#include "log_test_support.h"

#include <fstream>

namespace logtest {

std::vector<std::string> ReadLines(const std::string& path) {
    std::vector<std::string> lines;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) lines.push_back(line);
    return lines;
}

std::string AfterTimestamp(const std::string& line) {
    return line.size() > 18 ? line.substr(18) : std::string();
}

}  // namespace logtest

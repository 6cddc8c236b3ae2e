// larkcrashreport: the stand-in for the maker's report program that the crash handler starts when
// the player agrees to send a report. It takes the dump directory and the report identifier and
// prints what it would send: every crash dump ("*.dmp") of that directory with its size.
//
//   larkcrashreport <dump directory> <report id>     (an empty directory means the current one)
#include <dirent.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "OsFile.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: larkcrashreport <dump directory> <report id>\n");
        return 2;
    }
    std::string directory = argv[1][0] != '\0' ? argv[1] : ".";
    std::string reportId = argv[2];
    DIR* listing = opendir(directory.c_str());
    if (listing == nullptr) {
        std::fprintf(stderr, "larkcrashreport: cannot read the dump directory %s\n",
                     directory.c_str());
        return 1;
    }
    std::vector<std::string> dumps;
    while (dirent* entry = readdir(listing)) {
        std::string name = entry->d_name;
        if (name.size() > 4 && name.compare(name.size() - 4, 4, ".dmp") == 0) dumps.push_back(name);
    }
    closedir(listing);
    std::sort(dumps.begin(), dumps.end());
    if (dumps.empty()) {
        std::printf("Report '%s': no crash dump in %s, nothing to send\n", reportId.c_str(),
                    directory.c_str());
        return 1;
    }
    for (const std::string& name : dumps) {
        std::string path = HY_OS::JoinPath(directory, name);
        std::printf("Report '%s': would send %s (%lld bytes)\n", reportId.c_str(), path.c_str(),
                    static_cast<long long>(HY_OS::FileLength(path)));
    }
    return 0;
}

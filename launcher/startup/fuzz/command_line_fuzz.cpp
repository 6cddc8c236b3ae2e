// The launcher's command-line parser on arbitrary arguments. Input: the arguments, each ended by
// a zero byte (at most 64 are taken).
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "FuzzTarget.h"
#include "LaunchOptions.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static std::FILE* discard = std::fopen("/dev/null", "w");
    std::vector<std::string> arguments = {"LarkLauncher"};
    std::string current;
    for (size_t i = 0; i < size && arguments.size() < 65; ++i) {
        if (data[i] == 0) {
            arguments.push_back(current);
            current.clear();
        } else {
            current.push_back(static_cast<char>(data[i]));
        }
    }
    std::vector<char*> argv;
    for (std::string& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);
    LaunchOptions options;
    int result = ParseLaunchOptionsTo(discard, static_cast<int>(arguments.size()), argv.data(), options);
    if (result > static_cast<int>(arguments.size())) std::abort();
    return 0;
}

std::vector<std::string> HyFuzzSeeds() {
    using namespace std::string_literals;
    return {"-r\0"s, "-r\0-u:123456789\0-pabcdef0123456789\0-jJSESSION\0-1\0-s\0-nAnn Lee\0"s,
            "-r12\0extra\0-x\0"s};
}

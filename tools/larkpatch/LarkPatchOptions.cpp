#include "LarkPatchOptions.h"

#include <cstdlib>

namespace {

bool ParsePort(const std::string& text, uint16_t& port) {
    if (text.empty() || text.size() > 5 || text.find_first_not_of("0123456789") != std::string::npos) return false;
    long value = std::strtol(text.c_str(), nullptr, 10);
    if (value < 1 || value > 65535) return false;
    port = static_cast<uint16_t>(value);
    return true;
}

std::string WithSlash(std::string path) {
    if (!path.empty() && path.back() != '/') path += '/';
    return path;
}

}  // namespace

const char* LarkPatchUsage() {
    return "usage: larkpatch --server HOST:PORT --install DIR --package NAME[,NAME...]\n"
           "                 [--cache DIR] [--data DIR] [--locale LOCALE] [--log FILE]\n"
           "\n"
           "Brings the named packages of an installation up to the latest build, exactly as the\n"
           "launcher's game patch does: asks the patch server at HOST:PORT for the latest file list,\n"
           "downloads it when the local copy is not current, and fetches every out-of-date file of\n"
           "each package over HTTP into DIR. Packages are patched in the order given; each must be\n"
           "in the latest file list.\n"
           "\n"
           "  --cache DIR    where the file list and the CRC caches live (default DIR/PatchInfo/)\n"
           "  --data DIR     where the message modules are found (default ./)\n"
           "  --locale NAME  the locale sent to the patch server (default English)\n"
           "  --log FILE     the log file, in the launcher's format (default LarkPatch.Log.txt)\n"
           "\n"
           "Prints one line per file and a summary. Exit status: 0 success; the patch failure code\n"
           "(1 to 19) when patching failed; 64 for a bad command line; 65 when the log or the\n"
           "message modules could not be set up.\n";
}

bool ParseLarkPatchOptions(const std::vector<std::string>& args, LarkPatchOptions& options, std::string& error) {
    std::string server, packages;
    bool haveCache = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& option = args[i];
        if (option == "--help" || option == "-h") {
            options.help = true;
            return true;
        }
        if (i + 1 >= args.size()) {
            error = option.rfind("--", 0) == 0 ? "missing value after " + option : "unexpected argument " + option;
            return false;
        }
        const std::string& value = args[++i];
        if (option == "--server") server = value;
        else if (option == "--install") options.install = value;
        else if (option == "--package") packages = value;
        else if (option == "--cache") {
            options.cache = value;
            haveCache = true;
        } else if (option == "--data") options.data = value;
        else if (option == "--locale") options.locale = value;
        else if (option == "--log") options.log = value;
        else {
            error = "unknown option " + option;
            return false;
        }
    }
    size_t colon = server.rfind(':');
    if (server.empty() || colon == std::string::npos || colon == 0 ||
        !ParsePort(server.substr(colon + 1), options.port)) {
        error = server.empty() ? "--server HOST:PORT is required" : "--server wants HOST:PORT, not " + server;
        return false;
    }
    options.host = server.substr(0, colon);
    if (options.install.empty()) {
        error = "--install DIR is required";
        return false;
    }
    options.install = WithSlash(options.install);
    options.packages.clear();
    size_t start = 0;
    while (start <= packages.size()) {
        size_t end = packages.find(',', start);
        if (end == std::string::npos) end = packages.size();
        std::string name = packages.substr(start, end - start);
        if (name.empty()) {
            error = packages.empty() ? "--package NAME is required" : "empty package name in " + packages;
            return false;
        }
        options.packages.push_back(name);
        start = end + 1;
    }
    if (options.locale.empty() || options.data.empty() || options.log.empty() || (haveCache && options.cache.empty())) {
        error = "empty value for an option";
        return false;
    }
    options.cache = haveCache ? WithSlash(options.cache) : options.install + "PatchInfo/";
    options.data = WithSlash(options.data);
    return true;
}

#include "HostCommands.h"

#include <algorithm>
#include <cctype>

namespace larkhost {

std::string ShellQuote(const std::string& value) {
    std::string out = "'";
    for (char c : value) {
        if (c == '\'')
            out += "'\\''";
        else
            out += c;
    }
    return out + "'";
}

std::string BottleOption(const std::string& bottle) {
    return bottle.empty() ? "--bottle default" : "--bottle " + ShellQuote(bottle);
}

ShellCommand PrimaryCommand(const std::string& porticoRoot) {
    return ShellCommand(ShellQuote(porticoRoot) + "/" + "bin/launcher");
}

static std::string PtStart(const std::string& porticoRoot) {
    return ShellQuote(porticoRoot + "/bin/ptstart");
}

ShellCommand UrlCommand(const std::string& porticoRoot, const std::string& bottle,
                        const std::string& url) {
    return ShellCommand(PtStart(porticoRoot) + " " + BottleOption(bottle) +
                        " --wait-children --enable-alt-loader macdrv -- " + ShellQuote(url));
}

ShellCommand DocumentCommand(const std::string& porticoRoot, const std::string& bottle,
                             const std::string& path) {
    return ShellCommand(PtStart(porticoRoot) + " " + BottleOption(bottle) +
                        " --wait-children --enable-alt-loader macdrv --untrusted " +
                        ShellQuote(path));
}

std::string UrlScheme(const std::string& url) {
    size_t colon = url.find(':');
    if (colon == std::string::npos || colon == 0) return {};
    std::string scheme = url.substr(0, colon);
    bool valid = std::all_of(scheme.begin(), scheme.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '+' || c == '-' || c == '.';
    });
    return valid ? scheme : std::string();
}

}  // namespace larkhost

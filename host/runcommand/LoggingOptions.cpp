#include "LoggingOptions.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "HostDefaults.h"

namespace larkhost {
namespace {

std::vector<std::string> SplitOn(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::string current;
    std::istringstream in(text);
    while (std::getline(in, current, separator))
        if (!current.empty()) parts.push_back(current);
    return parts;
}

std::vector<std::string> Words(const std::string& text) {
    std::vector<std::string> words;
    std::istringstream in(text);
    std::string word;
    while (in >> word) words.push_back(word);
    return words;
}

constexpr const char* kRecentKey = "RecentLoggingOptions";
constexpr char kPairSeparator = '\n';

}  // namespace

const std::vector<LoggingOption>& LoggingPresets() {
    static const std::vector<LoggingOption> presets = {
        {"Standard", "+pid,+process,+module,+loaddll,+seh,+threadname", ""},
        {"Crash (very verbose)", "+pid,+process,+module,+loaddll,+relay,+seh,+threadname", ""},
        {"Game Graphics", "+d3d", "VKD3D_DEBUG=trace VKD3D_SHADER_DEBUG=trace"},
        {"Sound (verbose)",
         "+pid,+mmdevapi,+winmm,+driver,+msacm,+midi,+dsound,+dsound3d,+xaudio2,+xapofx,+dmusic,+"
         "mci,+coreaudio,"
         "+timestamp",
         ""},
        {"File Access", "+pid,+ntdll,+file", ""},
        {"Game Controllers", "+pid,+winmm,+joystick,+dinput,+xinput", ""},
        {"Keyboard Input", "+pid,+key,+keyboard,+event", ""},
        {"Mouse Input", "+pid,+cursor,+event", ""},
        {"Window Behavior", "+pid,+win,+macdrv,+event", ""},
        {"Network Connections", "+wininet,+winhttp,+winsock,+iphlpapi", ""},
        {"Fonts", "+pid,+font", ""},
        {"Printing", "+pid,+winspool,+psdrv,+print", ""},
    };
    return presets;
}

const LoggingOption& StandardPreset() { return LoggingPresets().front(); }

std::string PresetToolTip(const LoggingOption& option) {
    auto channels = SplitOn(option.channels, ',');
    std::sort(channels.begin(), channels.end());
    std::string tip;
    for (const auto& c : channels) tip += (tip.empty() ? "" : ",") + c;
    if (!option.environment.empty()) tip += "\n" + option.environment;
    return tip;
}

std::string FilterChannelText(const std::string& text) {
    std::string out;
    for (char c : text) {
        unsigned char u = static_cast<unsigned char>(c);
        char keep;
        if (std::isspace(u))
            keep = ',';
        else if (std::isalnum(u) || c == '_' || c == ',' || c == '+' || c == '-')
            keep = c;
        else
            continue;
        if (keep == ',' && !out.empty() && out.back() == ',') continue;
        out += keep;
    }
    return out;
}

void MergePreset(const LoggingOption& preset, std::string& channels, std::string& environment) {
    auto current = SplitOn(channels, ',');
    for (const auto& c : SplitOn(preset.channels, ','))
        if (std::find(current.begin(), current.end(), c) == current.end()) current.push_back(c);
    channels.clear();
    for (const auto& c : current) channels += (channels.empty() ? "" : ",") + c;
    auto vars = Words(environment);
    for (const auto& v : Words(preset.environment))
        if (std::find(vars.begin(), vars.end(), v) == vars.end()) vars.push_back(v);
    environment.clear();
    for (const auto& v : vars) environment += (environment.empty() ? "" : " ") + v;
}

std::string FreeLogFilePath(const std::string& directory, const std::string& name) {
    std::string path = directory + "/" + name + ".ptlog";
    for (int n = 2; std::filesystem::exists(path); ++n)
        path = directory + "/" + name + " " + std::to_string(n) + ".ptlog";
    return path;
}

std::string LogDirectory() {
    const char* state = std::getenv("XDG_STATE_HOME");
    const char* home = std::getenv("HOME");
    std::string base = state != nullptr && *state == '/'
                           ? state
                           : std::string(home ? home : "/tmp") + "/.local/state";
    std::string dir = base + "/Larkspur/logs";
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    return dir;
}

std::vector<LoggingOption> RecentLoggingOptions(const HostDefaults& defaults) {
    std::vector<LoggingOption> out;
    for (const auto& entry : defaults.GetList(kRecentKey)) {
        size_t split = entry.find(kPairSeparator);
        LoggingOption option;
        option.channels = entry.substr(0, split);
        option.environment = split == std::string::npos ? "" : entry.substr(split + 1);
        option.name =
            option.channels + (option.environment.empty() ? "" : " " + option.environment);
        out.push_back(option);
    }
    return out;
}

void RememberLoggingOption(HostDefaults& defaults, const std::string& channels,
                           const std::string& environment) {
    std::string entry = channels + kPairSeparator + environment;
    auto list = defaults.GetList(kRecentKey);
    list.erase(std::remove(list.begin(), list.end(), entry), list.end());
    list.insert(list.begin(), entry);
    if (list.size() > 3) list.resize(3);
    defaults.SetList(kRecentKey, list);
}

std::string ShortenTitle(const std::string& title, size_t limit) {
    if (title.size() <= limit) return title;
    size_t half = (limit - 1) / 2;
    return title.substr(0, half) + "\u2026" + title.substr(title.size() - half);
}

}  // namespace larkhost

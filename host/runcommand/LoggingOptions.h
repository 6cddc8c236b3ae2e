// The logging options of the run-command window: the preset groups of Wine debug channels, the
// rules of the channel field, the log file's name and the three most recent settings.
#pragma once

#include <string>
#include <vector>

namespace larkhost {

class HostDefaults;

struct LoggingOption {
    std::string name;
    std::string channels;     // comma-separated, e.g. "+pid,+file"
    std::string environment;  // space-separated name=value pairs
};

// The twelve presets, in menu order.
const std::vector<LoggingOption>& LoggingPresets();
// The channel set put in when the log file is switched on with both fields empty.
const LoggingOption& StandardPreset();

// A preset's tool tip: its channels sorted and joined with commas, then a new line and its
// environment when it has one.
std::string PresetToolTip(const LoggingOption& option);

// What the channel field keeps of typed text: letters, digits and "_,+-"; white space turns
// into a comma, and two commas in a row become one.
std::string FilterChannelText(const std::string& text);

// Merges a preset into the fields: its channels into the comma-separated list without
// duplicates, its environment into the space-separated one.
void MergePreset(const LoggingOption& preset, std::string& channels, std::string& environment);

// The log file for `name` in `directory`: <name>.ptlog, or "<name> 2.ptlog", "<name> 3.ptlog"...
// when that file exists.
std::string FreeLogFilePath(const std::string& directory, const std::string& name);

// $XDG_STATE_HOME/Larkspur/logs (~/.local/state when unset), created when missing.
std::string LogDirectory();

// The "RecentLoggingOptions" default: newest first, at most three (channels, environment) pairs.
std::vector<LoggingOption> RecentLoggingOptions(const HostDefaults& defaults);
void RememberLoggingOption(HostDefaults& defaults, const std::string& channels,
                           const std::string& environment);

// A long menu title shortened in the middle: "%s…%s" of its head and tail.
std::string ShortenTitle(const std::string& title, size_t limit = 40);

}  // namespace larkhost

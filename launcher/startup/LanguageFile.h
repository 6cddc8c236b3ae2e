// The player's language, chosen by the settings program and kept in "Lang.txt" in the game root.
#pragma once

#include <string>

constexpr const char* kDefaultLanguage = "English";
// Longest language name taken from the file; the name only selects a language file.
constexpr size_t kMaxLanguageNameLength = 255;

// The game root of a launcher living in <root>/PatchClient/<bank>: the directory with its last
// two components dropped (each only when a separator stands after its first character).
std::string GameRootOf(const std::string& launcherDirectory);

// The language name in the file `path`: its content up to the first byte below 0x20 or above
// 0x7F, at most kMaxLanguageNameLength characters. An empty file gives an empty name; a missing
// or unreadable file gives kDefaultLanguage.
std::string ReadLanguageName(const std::string& path);

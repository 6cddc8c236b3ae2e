// The window's interface strings: built-in texts by id, with a ".lang" file laid over them.
#pragma once

#include <map>
#include <string>

namespace LarkUi {

// String ids of the interface.
enum StringId : int {
    IDS_ABOUTBOX = 101,
    IDS_LOGIN = 102,
    IDS_ALREADY_RUNNING = 103,
    IDS_SCANNING = 104,
    IDS_PATCHING = 105,
    IDS_LOGGING_IN = 106,
    IDS_CONNECTING_PATCH = 107,
    IDS_DOWNLOAD_COMPLETE = 108,
    IDS_LAUNCHING_NEW_CLIENT = 109,
    IDS_PLAY = 110,
    IDS_SETTINGS = 111,
    IDS_USERNAME_CUE = 112,
    IDS_PASSWORD_CUE = 113,
    IDS_LOADING = 114,
    IDS_REMEMBER_USERNAME = 115,
    IDS_TOTAL_PROGRESS = 116,
    IDS_FILE_PROGRESS = 117,
    IDS_PRODUCT_LINE = 119,
    IDS_MAKER_LINE = 120,
    IDS_ACCEPT = 121,
    IDS_DECLINE = 122,
};

// The built-in text of `id`; false when the library has no such string.
bool BuiltInString(int id, std::u16string& text);

// The language table of the process, filled by `Load` and kept until the library is unloaded.
class LanguageTable {
  public:
    // Reads "<exeBaseName>/<languageName>.lang" below the current directory; an unreadable file
    // leaves the table as it was. Answers the number of records stored.
    int LoadFile(const std::string& exeBaseName, const std::string& languageName);
    // Reads the records of a language file's bytes (FF FE: UTF-16 little-endian, otherwise 8-bit).
    int LoadBytes(const std::string& bytes);

    // The text of `id`: the language table first, the built-in strings second; false when neither
    // has it.
    bool Lookup(int id, std::u16string& text) const;
    // As Lookup, empty when neither has it.
    std::u16string Text(int id) const;

    void Clear() { m_texts.clear(); }

    static LanguageTable& Instance();

  private:
    std::map<int, std::u16string> m_texts;
};

// The file bar's text: `prefix` and a space, then the name when it has at most 25 characters,
// otherwise "..." and its last 25 characters.
std::u16string FileProgressText(const std::u16string& prefix, const std::u16string& fileName);

}  // namespace LarkUi

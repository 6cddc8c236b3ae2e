#include "InterfaceStrings.h"

#include <cstdlib>
#include <vector>

#include "OsFile.h"
#include "TextConvert.h"

namespace LarkUi {

namespace {

struct BuiltIn {
    int id;
    const char16_t* text;
};

constexpr BuiltIn kBuiltIn[] = {
    {IDS_ABOUTBOX, u"&About Larkspur..."},
    {IDS_LOGIN, u"Login"},
    {IDS_ALREADY_RUNNING,
     u"Larkspur is already running on your computer.\r\n\nPress the OK button below to play "
     u"now.\r\nIf you do not see Larkspur after pressing OK, you may need to\r\nrestart your "
     u"computer to play."},
    {IDS_SCANNING, u"Scanning :"},
    {IDS_PATCHING, u"Patching :"},
    {IDS_LOGGING_IN, u"Logging in..."},
    {IDS_CONNECTING_PATCH, u"Connecting to Patch Server..."},
    {IDS_DOWNLOAD_COMPLETE, u"Download Complete!"},
    {IDS_LAUNCHING_NEW_CLIENT, u"Launching New Patch Client..."},
    {IDS_PLAY, u"PLAY!"},
    {IDS_SETTINGS, u"Settings"},
    {IDS_USERNAME_CUE, u"Username..."},
    {IDS_PASSWORD_CUE, u"Password..."},
    {IDS_LOADING, u"Loading..."},
    {IDS_REMEMBER_USERNAME, u"Remember Username"},
    {IDS_TOTAL_PROGRESS, u"Total Progress"},
    {IDS_FILE_PROGRESS, u"File Progress"},
    {IDS_PRODUCT_LINE, u"Larkspur Launcher, version 1.0"},
    {IDS_MAKER_LINE, u"Copyright (C) Halcyra"},
    {IDS_ACCEPT, u"Accept"},
    {IDS_DECLINE, u"Decline"},
};

bool IsBlank(char16_t c) {
    return c == u' ' || c == u'\t' || c == u'\v' || c == u'\f' || c == u'\n';
}

std::u16string Trim(const std::u16string& text) {
    size_t begin = 0, end = text.size();
    while (begin < end && IsBlank(text[begin])) ++begin;
    while (end > begin && IsBlank(text[end - 1])) --end;
    return text.substr(begin, end - begin);
}

// "\n", "\r" and "\t" become the characters; a backslash before anything else stays.
std::u16string Unescape(const std::u16string& text) {
    std::u16string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == u'\\' && i + 1 < text.size()) {
            char16_t next = text[i + 1];
            if (next == u'n' || next == u'r' || next == u't') {
                out += next == u'n' ? u'\n' : next == u'r' ? u'\r' : u'\t';
                ++i;
                continue;
            }
        }
        out += text[i];
    }
    return out;
}

// The id line: optional leading white space, an optional sign, digits up to the first non-digit;
// no digits give 0.
int ParseId(const std::u16string& line) {
    size_t i = 0;
    while (i < line.size() && IsBlank(line[i])) ++i;
    bool negative = false;
    if (i < line.size() && (line[i] == u'-' || line[i] == u'+')) negative = line[i++] == u'-';
    long long value = 0;
    for (; i < line.size() && line[i] >= u'0' && line[i] <= u'9'; ++i) {
        value = value * 10 + (line[i] - u'0');
        if (value > 0x7FFFFFFF) value = 0x80000000LL;  // saturate instead of overflowing
    }
    return static_cast<int>(negative ? -value : (value > 0x7FFFFFFF ? 0x7FFFFFFF : value));
}

}  // namespace

bool BuiltInString(int id, std::u16string& text) {
    for (const BuiltIn& entry : kBuiltIn) {
        if (entry.id == id) {
            text = entry.text;
            return true;
        }
    }
    return false;
}

LanguageTable& LanguageTable::Instance() {
    static LanguageTable table;
    return table;
}

int LanguageTable::LoadFile(const std::string& exeBaseName, const std::string& languageName) {
    std::string bytes;
    if (!HY_OS::ReadWholeFile(HY_OS::JoinPath(exeBaseName, languageName + ".lang"), bytes))
        return 0;
    return LoadBytes(bytes);
}

int LanguageTable::LoadBytes(const std::string& bytes) {
    std::u16string text;
    if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
        static_cast<unsigned char>(bytes[1]) == 0xFE) {
        // A trailing odd byte cannot be a character and is dropped.
        for (size_t i = 2; i + 1 < bytes.size(); i += 2)
            text += static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                          (static_cast<unsigned char>(bytes[i + 1]) << 8));
    } else {
        text = AnsiToUtf16(bytes);
    }
    std::vector<std::u16string> lines(1);
    for (char16_t c : text) {
        if (c == u'\r') continue;
        if (c == u'\n') {
            lines.emplace_back();
        } else {
            lines.back() += c;
        }
    }
    if (!text.empty() && text.back() == u'\n') lines.pop_back();
    int stored = 0;
    // Line 0 is a header; then id line, an ignored line, the text line.
    for (size_t i = 1; i < lines.size(); i += 3) {
        int id = ParseId(lines[i]);
        m_texts[id] = i + 2 < lines.size() ? Unescape(Trim(lines[i + 2])) : std::u16string();
        ++stored;
    }
    return stored;
}

bool LanguageTable::Lookup(int id, std::u16string& text) const {
    auto found = m_texts.find(id);
    if (found != m_texts.end()) {
        text = found->second;
        return true;
    }
    return BuiltInString(id, text);
}

std::u16string LanguageTable::Text(int id) const {
    std::u16string text;
    Lookup(id, text);
    return text;
}

std::u16string FileProgressText(const std::u16string& prefix, const std::u16string& fileName) {
    constexpr size_t kShown = 25;
    if (fileName.size() <= kShown) return prefix + u" " + fileName;
    return prefix + u" ..." + fileName.substr(fileName.size() - kShown);
}

}  // namespace LarkUi

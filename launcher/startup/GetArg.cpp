#include "GetArg.h"

#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

constexpr int kHelpWidth = 40;

const ArgOption* FindOption(int letter, const ArgOption* table, int tableSize) {
    for (int i = 0; i < tableSize; ++i) {
        if (table[i].type == OT_Separator) continue;
        if (table[i].letter == letter) return &table[i];
    }
    return nullptr;
}

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n'; }

int DigitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return 99;
}

// Reads a number at `text` (after an optional ':' and blanks): "0x" hexadecimal, a leading 0
// followed by a digit octal, otherwise decimal. Arithmetic wraps in 64 bits, so a long run of
// digits cannot overflow. Answers the position after the number.
const char* ReadNumber(const char* text, bool allowSign, uint64_t& value) {
    if (*text == ':') ++text;
    while (IsSpace(*text)) ++text;
    bool negative = false;
    if (allowSign && *text == '-') {
        negative = true;
        ++text;
    }
    unsigned base = 10;
    if (text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text += 2;
    } else if (text[0] == '0' && text[1] >= '0' && text[1] <= '9') {
        base = 8;
        ++text;
    }
    uint64_t number = 0;
    for (; DigitValue(*text) < static_cast<int>(base); ++text)
        number = number * base + static_cast<uint64_t>(DigitValue(*text));
    value = negative ? 0 - number : number;
    return text;
}

void PrintIllegal(std::FILE* errors, char letter, const ArgOption* table, int tableSize) {
    std::fprintf(errors, "Illegal argument: <%c>.  Legal arguments are:\n", letter);
    PrintArgUsage(errors, table, tableSize);
}

}  // namespace

void PrintArgUsage(std::FILE* out, const ArgOption* table, int tableSize) {
    for (int i = 0; i < tableSize; ++i) {
        const ArgOption& option = table[i];
        const char* help = option.help ? option.help : "";
        if (option.type == OT_Separator) {
            std::fprintf(out, "                    %s\n", help);
            continue;
        }
        std::fprintf(out, " -%c", option.letter);
        switch (option.type) {
            case OT_Int:
                std::fprintf(out, "[:]<num> Int   : %-*s", kHelpWidth, help);
                std::fprintf(out, "(%d)\n", *static_cast<const int32_t*>(option.variable));
                break;
            case OT_Bool:
                std::fprintf(out, "         Bool  : %-*s", kHelpWidth, help);
                std::fprintf(out, "(%s)\n",
                             *static_cast<const bool*>(option.variable) ? "True" : "False");
                break;
            case OT_Char: {
                std::fprintf(out, "<c>      Char  : %-*s", kHelpWidth, help);
                unsigned char c = static_cast<unsigned char>(*static_cast<const char*>(option.variable));
                if (c == 0)
                    std::fprintf(out, "('0')\n");
                else if (std::isprint(c))
                    std::fprintf(out, "('%c')\n", c);
                else
                    std::fprintf(out, "('\\%03o')\n", c);
                break;
            }
            case OT_CString: {
                const char* value = *static_cast<const char* const*>(option.variable);
                std::fprintf(out, "[:]<str> String: %-*s", kHelpWidth, help);
                std::fprintf(out, "(\"%s\")\n", value ? value : "");
                break;
            }
            case OT_String:
                std::fprintf(out, "[:]<str> String: %-*s", kHelpWidth, help);
                std::fprintf(out, "(\"%s\")\n",
                             static_cast<const std::string*>(option.variable)->c_str());
                break;
            case OT_Float:
                std::fprintf(out, "[:]<flt> Float : %-*s", kHelpWidth, help);
                std::fprintf(out, "(%f)\n", *static_cast<const double*>(option.variable));
                break;
            case OT_U64:
                std::fprintf(out, "[:]<num> U64   : %-*s", kHelpWidth, help);
                std::fprintf(out, "(%llu)\n", static_cast<unsigned long long>(
                                                  *static_cast<const uint64_t*>(option.variable)));
                break;
            default:
                std::fprintf(out, "\n");
                break;
        }
    }
}

int getargTo(std::FILE* errors, int argc, char** argv, const ArgOption* table, int tableSize,
             bool exitOnError) {
    int kept = 1;
    for (int i = 1; i < argc; ++i) {
        char* argument = argv[i];
        if (argument == nullptr) continue;
        if (argument[0] != '-') {
            argv[kept++] = argument;
            continue;
        }
        const char* p = argument + 1;
        while (*p != '\0') {
            char letter = *p++;
            const ArgOption* option = FindOption(static_cast<unsigned char>(letter), table, tableSize);
            if (option == nullptr) {
                PrintIllegal(errors, letter, table, tableSize);
                if (exitOnError) std::exit(1);
                return -1;
            }
            bool argumentEnds = false;
            switch (option->type) {
                case OT_Bool:
                    *static_cast<bool*>(option->variable) = true;
                    break;
                case OT_Char:
                    *static_cast<char*>(option->variable) = *p;
                    if (*p != '\0') ++p;
                    break;
                case OT_Int: {
                    uint64_t value = 0;
                    p = ReadNumber(p, true, value);
                    *static_cast<int32_t*>(option->variable) =
                        static_cast<int32_t>(static_cast<uint32_t>(value));
                    break;
                }
                case OT_U64: {
                    uint64_t value = 0;
                    p = ReadNumber(p, false, value);
                    *static_cast<uint64_t*>(option->variable) = value;
                    break;
                }
                case OT_CString:
                    if (*p == ':') ++p;
                    *static_cast<const char**>(option->variable) = p;
                    argumentEnds = true;
                    break;
                case OT_String:
                    if (*p == ':') ++p;
                    static_cast<std::string*>(option->variable)->assign(p);
                    argumentEnds = true;
                    break;
                case OT_Float:
                    if (*p == ':') ++p;
                    *static_cast<double*>(option->variable) = std::strtod(p, nullptr);
                    argumentEnds = true;
                    break;
                default:
                    std::fprintf(errors, "getarg(): internal error: bad argument type\n");
                    break;
            }
            if (argumentEnds) break;
        }
    }
    return kept;
}

int getarg(int argc, char** argv, const ArgOption* table, int tableSize, bool exitOnError) {
    return getargTo(stderr, argc, argv, table, tableSize, exitOnError);
}

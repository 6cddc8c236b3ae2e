#include "GetArg.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "LaunchOptions.h"

namespace {

// Owns the texts of a command line and offers them as argc/argv.
class CommandLine {
public:
    explicit CommandLine(std::vector<std::string> arguments) : m_texts(std::move(arguments)) {
        m_texts.insert(m_texts.begin(), "LarkLauncher");
        for (std::string& text : m_texts) m_argv.push_back(text.data());
        m_argv.push_back(nullptr);
    }
    int Count() const { return static_cast<int>(m_texts.size()); }
    char** Vector() { return m_argv.data(); }

private:
    std::vector<std::string> m_texts;
    std::vector<char*> m_argv;
};

// Captures what the parser prints.
class Capture {
public:
    Capture() : m_file(std::tmpfile()) {}
    ~Capture() { std::fclose(m_file); }
    std::FILE* File() { return m_file; }
    std::vector<std::string> Lines() {
        std::fflush(m_file);
        std::rewind(m_file);
        std::vector<std::string> lines;
        char buffer[512];
        while (std::fgets(buffer, sizeof buffer, m_file)) lines.emplace_back(buffer);
        return lines;
    }

private:
    std::FILE* m_file;
};

int Parse(std::vector<std::string> arguments, LaunchOptions& options, Capture& errors) {
    CommandLine line(std::move(arguments));
    return ParseLaunchOptionsTo(errors.File(), line.Count(), line.Vector(), options);
}

TEST(GetArg, LauncherOptionsFromARelaunchCommandLine) {
    LaunchOptions options;
    Capture errors;
    EXPECT_EQ(Parse({"-r", "-u:0x10", "-p:key", "-n:player one", "-j:JS:1", "-1", "-s"}, options,
                    errors),
              1);
    EXPECT_TRUE(options.runFlag);
    EXPECT_EQ(options.userId, 16u);
    EXPECT_EQ(options.passKey, "key");
    EXPECT_EQ(options.userName, "player one");
    EXPECT_EQ(options.jSessionId, "JS:1");  // only the first ':' is the separator
    EXPECT_TRUE(options.noRestartAfterLeadPatch);
    EXPECT_TRUE(options.paidAccount);
    EXPECT_FALSE(options.restartAfterLogin);
    EXPECT_FALSE(options.forceDownload);
    EXPECT_TRUE(options.validateWads);
    EXPECT_TRUE(errors.Lines().empty());
}

TEST(GetArg, NumberForms) {
    struct Case {
        const char* argument;
        uint64_t value;
    };
    const Case cases[] = {
        {"-u:010", 8},       {"-u:0X1f", 31},  {"-u123", 123},
        {"-u: \t42", 42},    {"-u:0", 0},      {"-u:18446744073709551615", UINT64_MAX},
        {"-u:18446744073709551616", 0},  // wraps instead of overflowing
    };
    for (const Case& c : cases) {
        LaunchOptions options;
        Capture errors;
        Parse({c.argument}, options, errors);
        EXPECT_EQ(options.userId, c.value) << c.argument;
    }

    int32_t number = 0;
    bool flag = false;
    const ArgOption table[] = {{'i', OT_Int, &number, "n"}, {'r', OT_Bool, &flag, "r"}};
    CommandLine line({"-i:-0x10r"});
    Capture errors;
    EXPECT_EQ(getargTo(errors.File(), line.Count(), line.Vector(), table, 2, false), 1);
    EXPECT_EQ(number, -16);  // the letters after a number are read as options
    EXPECT_TRUE(flag);
    CommandLine big({"-i4294967297"});
    getargTo(errors.File(), big.Count(), big.Vector(), table, 2, false);
    EXPECT_EQ(number, 1);
}

TEST(GetArg, ClustersAndNonOptionArguments) {
    LaunchOptions options;
    Capture errors;
    CommandLine line({"first", "-r1s", "second", "-23", "-", "third"});
    EXPECT_EQ(ParseLaunchOptionsTo(errors.File(), line.Count(), line.Vector(), options), 4);
    EXPECT_TRUE(options.runFlag);
    EXPECT_TRUE(options.noRestartAfterLeadPatch);
    EXPECT_TRUE(options.paidAccount);
    EXPECT_TRUE(options.restartAfterLogin);
    EXPECT_TRUE(options.forceDownload);
    EXPECT_STREQ(line.Vector()[1], "first");
    EXPECT_STREQ(line.Vector()[2], "second");
    EXPECT_STREQ(line.Vector()[3], "third");
}

TEST(GetArg, IllegalLetterStopsWithTheUsageListing) {
    LaunchOptions options;
    Capture errors;
    EXPECT_EQ(Parse({"-r", "-u:7", "-p:secret", "-x", "-s", "-n:late"}, options, errors), -1);
    EXPECT_TRUE(options.runFlag);
    EXPECT_EQ(options.userId, 7u);
    EXPECT_FALSE(options.paidAccount);  // after the unknown letter: not applied
    EXPECT_EQ(options.userName, "");

    const std::string pad(39, ' ');  // the help text " " padded to 40 columns
    const std::vector<std::string> expected = {
        "Illegal argument: <x>.  Legal arguments are:\n",
        " -r         Bool  :  " + pad + "(True)\n",
        " -u[:]<num> U64   :  " + pad + "(7)\n",
        " -p[:]<str> String:  " + pad + "(\"secret\")\n",
        " -j[:]<str> String:  " + pad + "(\"\")\n",
        " -1         Bool  :  " + pad + "(False)\n",
        " -2         Bool  :  " + pad + "(False)\n",
        " -3         Bool  :  " + pad + "(False)\n",
        " -s         Bool  :  " + pad + "(False)\n",
        " -n[:]<str> String:  " + pad + "(\"\")\n",
    };
    EXPECT_EQ(errors.Lines(), expected);

    // A sign is not part of an unsigned number: '-' is then read as an option letter.
    LaunchOptions signedId;
    Capture more;
    EXPECT_EQ(Parse({"-u:-5"}, signedId, more), -1);
    EXPECT_EQ(more.Lines().at(0), "Illegal argument: <->.  Legal arguments are:\n");
}

TEST(GetArgDeathTest, ExitOnErrorEndsTheProcess) {
    bool flag = false;
    const ArgOption table[] = {{'r', OT_Bool, &flag, "r"}};
    EXPECT_EXIT(
        {
            CommandLine line({"-rq"});
            getarg(line.Count(), line.Vector(), table, 1, true);
        },
        ::testing::ExitedWithCode(1), "Illegal argument: <q>\\.  Legal arguments are:");
}

TEST(GetArg, OtherValueTypesAndTheirListing) {
    char c = 0;
    double real = 0;
    std::string text = "old";
    int32_t number = 3;
    const ArgOption table[] = {
        {'c', OT_Char, &c, "char"},          {'f', OT_Float, &real, "real"},
        {0, OT_Separator, nullptr, "-- more --"}, {'t', OT_String, &text, "text"},
        {'i', OT_Int, &number, "int"},      {'b', 9, nullptr, "bad"},
    };
    Capture errors;
    CommandLine line({"-cZ", "-f:2.5", "-t:new value", "-b", "-c"});
    EXPECT_EQ(getargTo(errors.File(), line.Count(), line.Vector(), table, 6, false), 1);
    EXPECT_EQ(c, 0);  // "-c" with nothing after it
    EXPECT_DOUBLE_EQ(real, 2.5);
    EXPECT_EQ(text, "new value");
    EXPECT_EQ(errors.Lines(),
              std::vector<std::string>{"getarg(): internal error: bad argument type\n"});

    c = '\3';
    Capture listing;
    PrintArgUsage(listing.File(), table, 5);
    std::vector<std::string> lines = listing.Lines();
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[0], " -c<c>      Char  : char" + std::string(36, ' ') + "('\\003')\n");
    EXPECT_EQ(lines[1], " -f[:]<flt> Float : real" + std::string(36, ' ') + "(2.500000)\n");
    EXPECT_EQ(lines[2], "                    -- more --\n");
    EXPECT_EQ(lines[3], " -t[:]<str> String: text" + std::string(36, ' ') + "(\"new value\")\n");
    EXPECT_EQ(lines[4], " -i[:]<num> Int   : int" + std::string(37, ' ') + "(3)\n");

    // A separator's letter never matches.
    Capture separator;
    CommandLine zero({"-t:x"});
    const ArgOption onlySeparator[] = {{'t', OT_Separator, nullptr, "sep"}};
    EXPECT_EQ(getargTo(separator.File(), zero.Count(), zero.Vector(), onlySeparator, 1, false), -1);
}

}  // namespace

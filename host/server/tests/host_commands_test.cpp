#include "HostCommands.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace larkhost {
namespace {

// What the shell makes of `words`: each argument on its own line.
std::string ShellWords(const std::string& words) {
    std::string command = "/bin/sh -c " + ShellQuote("printf '%s\\n' " + words);
    FILE* pipe = popen(command.c_str(), "r");
    std::string out;
    char buffer[256];
    while (pipe != nullptr && fgets(buffer, sizeof(buffer), pipe) != nullptr) out += buffer;
    if (pipe != nullptr) pclose(pipe);
    return out;
}

TEST(HostCommands, QuotedValuesReachTheShellIntact) {
    for (std::string value :
         {"plain", "it's", "''", "a b  c", "$HOME `id` \\ \" ; & |", "", "line\nbreak"}) {
        SCOPED_TRACE(value);
        EXPECT_EQ(ShellWords(ShellQuote(value)), value + "\n");
    }
    EXPECT_EQ(ShellQuote("it's"), "'it'\\''s'");
}

TEST(HostCommands, CommandLinesHaveTheirFixedShape) {
    EXPECT_EQ(PrimaryCommand("/opt/lark/share/larkspur").Text(),
              "'/opt/lark/share/larkspur'/bin/launcher");
    EXPECT_EQ(UrlCommand("/r", "", "larkspur://x?a='b'").Text(),
              "'/r/bin/ptstart' --bottle default --wait-children --enable-alt-loader macdrv -- "
              "'larkspur://x?a='\\''b'\\'''");
    EXPECT_EQ(DocumentCommand("/r", "My Bottle", "/home/u/it's.txt").Text(),
              "'/r/bin/ptstart' --bottle 'My Bottle' --wait-children --enable-alt-loader macdrv "
              "--untrusted "
              "'/home/u/it'\\''s.txt'");
}

TEST(HostCommands, UrlSchemes) {
    EXPECT_EQ(UrlScheme("com.tessaline.private-larkspur-app-scheme:open"),
              "com.tessaline.private-larkspur-app-scheme");
    EXPECT_EQ(UrlScheme("https://x"), "https");
    EXPECT_EQ(UrlScheme("/no/scheme"), "");
    EXPECT_EQ(UrlScheme(":x"), "");
}

}  // namespace
}  // namespace larkhost

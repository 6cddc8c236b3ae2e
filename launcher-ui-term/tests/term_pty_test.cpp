// The library on a pseudo-terminal: the password without echo, the bars redrawn in place, links,
// and the terminal's modes restored however the window ends.
#include <signal.h>

#include <gtest/gtest.h>

#include <string>

#include "TempDir.h"
#include "host_runner.h"

namespace {

using termtest::HostRun;
using termtest::HostSetup;
using termtest::PtyHost;

HostSetup PtySetup(const hytest::TempDir& dir, std::vector<std::string> arguments) {
    HostSetup setup;
    setup.arguments = std::move(arguments);
    setup.configHome = dir.Path("config");
    return setup;
}

TEST(TermOnTerminal, ThePasswordIsNotEchoedAndTheBarsAreRedrawnInPlace) {
    hytest::TempDir dir;
    PtyHost host(PtySetup(dir, {"--report-echo"}));
    ASSERT_TRUE(host.WaitFor("Username... ")) << host.Output();
    host.Type("alice\n");
    ASSERT_TRUE(host.WaitFor("Password... ")) << host.Output();
    EXPECT_FALSE(host.EchoOn());
    host.Type("pass/word\n");
    ASSERT_TRUE(host.WaitFor("PLAY!")) << host.Output();
    host.Type("\n");
    HostRun run = host.Finish();
    EXPECT_EQ(run.status, 0);
    const std::string& out = run.output;
    // The account name is echoed by the terminal; the password is not.
    EXPECT_NE(out.find("alice"), std::string::npos);
    EXPECT_EQ(out.find("pass/word"), std::string::npos) << out;
    EXPECT_NE(out.find("password-matches"), std::string::npos) << out;
    // The echo was off while the password was typed and is on again after the window.
    size_t off = out.find("> echo off");
    ASSERT_NE(off, std::string::npos) << out;
    size_t ended = out.find("> window ended");
    ASSERT_NE(ended, std::string::npos) << out;
    EXPECT_NE(out.find("> echo on", ended), std::string::npos) << out;
    // Two bar lines redrawn in place: back to the start of the area, each line cleared.
    EXPECT_NE(out.find("\r\033[1A\r\033[2KFile  ["), std::string::npos) << out;
    EXPECT_NE(out.find("Total [" + std::string(24, '#') + "] 100%"), std::string::npos) << out;
    // The page address is a hyperlink.
    EXPECT_NE(out.find("\033]8;;http://127.0.0.1/news?x=1\033\\http://127.0.0.1/news?x=1"),
              std::string::npos);
    // A file name from the server cannot clear the screen or set the title.
    EXPECT_EQ(out.find("\033[2J"), std::string::npos);
    EXPECT_EQ(out.find("\033]0;owned"), std::string::npos);
    EXPECT_NE(out.find("evil[2J]0;owned.wad"), std::string::npos);
}

TEST(TermOnTerminal, ADumbTerminalGetsPlainLines) {
    hytest::TempDir dir;
    HostSetup setup = PtySetup(dir, {});
    setup.terminalType = "dumb";
    PtyHost host(setup);
    ASSERT_TRUE(host.WaitFor("Username... ")) << host.Output();
    host.Type("alice\n");
    ASSERT_TRUE(host.WaitFor("Password... ")) << host.Output();
    host.Type("pass/word\n");
    ASSERT_TRUE(host.WaitFor("PLAY!")) << host.Output();
    host.Type("\n");
    HostRun run = host.Finish();
    EXPECT_NE(run.output.find("Total: Download Complete! 100%"), std::string::npos) << run.output;
    EXPECT_EQ(run.output.find('\033'), std::string::npos) << run.output;
    // Still a terminal: the password is not echoed.
    EXPECT_EQ(run.output.find("pass/word"), std::string::npos) << run.output;
}

TEST(TermOnTerminal, ASignalDuringThePasswordRestoresTheEcho) {
    hytest::TempDir dir;
    PtyHost host(PtySetup(dir, {}));
    ASSERT_TRUE(host.WaitFor("Username... ")) << host.Output();
    host.Type("alice\n");
    ASSERT_TRUE(host.WaitFor("Password... ")) << host.Output();
    EXPECT_FALSE(host.EchoOn());
    host.Signal(SIGTERM);
    HostRun run = host.Finish();
    // Ended by the signal, as it would have been without the window...
    EXPECT_EQ(run.status, -1);
    // ...with the terminal as it was.
    EXPECT_TRUE(host.EchoOn());
}

TEST(TermOnTerminal, ALauncherExitingDuringThePasswordLeavesTheEchoOn) {
    hytest::TempDir dir;
    PtyHost host(PtySetup(dir, {"--report-echo", "--exit-in-password"}));
    ASSERT_TRUE(host.WaitFor("Username... ")) << host.Output();
    host.Type("alice\n");
    ASSERT_TRUE(host.WaitFor("> exiting")) << host.Output();
    HostRun run = host.Finish();
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.output.find("> echo off"), std::string::npos);
    EXPECT_TRUE(host.EchoOn());
}

TEST(TermOnTerminal, TheEndOfInputOnATerminalClosesTheWindow) {
    hytest::TempDir dir;
    PtyHost host(PtySetup(dir, {"--report-echo"}));
    ASSERT_TRUE(host.WaitFor("Username... ")) << host.Output();
    host.Type("alice\n");
    ASSERT_TRUE(host.WaitFor("Password... ")) << host.Output();
    host.Type("\x04");  // Ctrl-D at the start of a line: end of input
    HostRun run = host.Finish();
    EXPECT_EQ(run.status, 0);
    size_t closed = run.output.find("> OnClose");
    ASSERT_NE(closed, std::string::npos) << run.output;
    EXPECT_NE(run.output.find("> echo on", closed), std::string::npos) << run.output;
}

}  // namespace

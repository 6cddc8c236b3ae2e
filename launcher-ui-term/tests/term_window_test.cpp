// The library driven through its exports by the test host, with standard input and output on
// pipes: the plain output, the commands, the user-name store, the ".lang" file, the wait source.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "OsFile.h"
#include "TempDir.h"
#include "UserRegistryStore.h"
#include "WindowLibraryExports.h"
#include "host_runner.h"

namespace {

using termtest::HostRun;
using termtest::HostSetup;
using termtest::RunOnPipes;

// Each text appears, in this order.
::testing::AssertionResult InOrder(const std::string& output, const std::vector<std::string>& texts) {
    size_t at = 0;
    for (const std::string& text : texts) {
        size_t found = output.find(text, at);
        if (found == std::string::npos)
            return ::testing::AssertionFailure() << "missing (in order) \"" << text << "\" in:\n" << output;
        at = found + text.size();
    }
    return ::testing::AssertionSuccess();
}

class TermWindow : public ::testing::Test {
  protected:
    HostSetup Setup(std::vector<std::string> arguments = {}) {
        HostSetup setup;
        setup.arguments = std::move(arguments);
        setup.configHome = m_dir.Path("config");
        return setup;
    }
    std::string Stored() {
        std::string name;
        UserRegistryStore(m_dir.Path("config") + "/Larkspur/UserRegistry.txt")
            .ReadString("Software\\Halcyra\\Larkspur", "UserName", name);
        return name;
    }
    void Remember(const std::string& name) {
        UserRegistryStore(m_dir.Path("config") + "/Larkspur/UserRegistry.txt")
            .WriteString("Software\\Halcyra\\Larkspur", "UserName", name);
    }
    hytest::TempDir m_dir;
};

TEST(TermLibrary, ExportsEveryFunctionOfTheWindowUnderItsSymbolName) {
    void* library = dlopen(TERM_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr) << dlerror();
    for (const char* symbol : WindowExportSymbols::kAll)
        EXPECT_NE(dlsym(library, symbol), nullptr) << symbol;
    // The code inside stays private: the shared pieces are not visible from outside.
    EXPECT_EQ(dlsym(library, "_ZN6LarkUi11CommandSink8InstanceEv"), nullptr);
    dlclose(library);
}

TEST_F(TermWindow, ASignInPatchesAndPlaysWithOneLinePerChange) {
    HostRun run = RunOnPipes(Setup(), "alice\npass/word\n\n");
    EXPECT_EQ(run.status, 0) << run.errors;
    EXPECT_TRUE(InOrder(run.output, {
        "> PreInitDialog", "Larkspur (type /help for the commands)", "> InitDialog",
        "> Log|Status|CPatchClientUIDlg::GotoPage() Navigate(http://127.0.0.1/news?x=1)",
        "Page: http://127.0.0.1/news?x=1", "Username... \n", "Password... \n", "> Login",
        "> credentials alice password-length 9 password-matches",
        "Total: Total Progress 0%", "File: Logging in... 0%",
        "File: Connecting to Patch Server... 0%", "File: Patching : Data/Root.wad 50%",
        "Total: Total Progress 40%", "File: Scanning : Data/Root.wad 100%",
        "File: Patching : ...s/Larkspur_Music_Vol1.wad 30%",
        "File: Patching : Data/evil[2J]0;owned.wad 60%", "Total: Total Progress 100%",
        "Total: Download Complete! 100%", "PLAY! Press Enter to play.", "> Play",
        "> window ended"}));
    // Plain output carries no escape codes, whatever the server's file names hold.
    EXPECT_EQ(run.output.find('\033'), std::string::npos);
    EXPECT_EQ(run.output.find('\r'), std::string::npos);
    // Nothing was remembered before, so nothing is remembered now.
    EXPECT_EQ(Stored(), "");
}

TEST_F(TermWindow, TheRememberedNameIsOfferedAndKept) {
    Remember("bob");
    HostRun run = RunOnPipes(Setup(), "\npw\n\n");
    EXPECT_TRUE(InOrder(run.output, {"Username... [bob]", "> credentials bob password-length 2",
                                     "> Play"}));
    EXPECT_EQ(Stored(), "bob");

    run = RunOnPipes(Setup(), "/remember off\ncarol\npw\n\n");
    EXPECT_TRUE(InOrder(run.output, {"Remember Username: off", "> credentials carol"}));
    EXPECT_EQ(Stored(), "");

    run = RunOnPipes(Setup(), "/remember on\ndave\npw\n\n");
    EXPECT_TRUE(InOrder(run.output, {"> credentials dave"}));
    EXPECT_EQ(Stored(), "dave");
}

TEST_F(TermWindow, AnAccountNameWithControlCharactersIsAskedForAgain) {
    HostRun run = RunOnPipes(Setup(), "al\x01ice\nbo\tb\nal ice\npw\n\n");
    EXPECT_TRUE(InOrder(run.output, {
        "The account name may not contain control characters; please type it again.",
        "Username... \n",
        "The account name may not contain control characters; please type it again.",
        "> credentials alice password-length 2"}));
    EXPECT_EQ(run.output.find("> credentials al\x01"), std::string::npos);
}

TEST_F(TermWindow, AFailedSignInAsksForTheNameAgain) {
    HostRun run = RunOnPipes(Setup({"--fail-login"}), "alice\npw\nbob\npw2\n\n");
    EXPECT_TRUE(InOrder(run.output, {"> credentials alice", "Username... \n", "> credentials bob",
                                     "> Play"}));
}

TEST_F(TermWindow, TheLicenceIsAcceptedOrDeclined) {
    HostRun declined = RunOnPipes(Setup({"--eula", "http://127.0.0.1/eula.html"}), "maybe\nd\n");
    EXPECT_TRUE(InOrder(declined.output, {"> PreInitDialog", "Page: http://127.0.0.1/eula.html",
                                          "[Accept/Decline]", "Please answer Accept or Decline.",
                                          "> window ended"}));
    // Declining ends the window without any command (not even the close request).
    EXPECT_EQ(declined.output.find("> InitDialog"), std::string::npos);
    EXPECT_EQ(declined.output.find("> OnClose"), std::string::npos);

    HostRun accepted = RunOnPipes(Setup({"--eula", "http://127.0.0.1/eula.html"}),
                                  "Accept\nalice\npw\n\n");
    EXPECT_TRUE(InOrder(accepted.output, {"[Accept/Decline]", "> InitDialog", "Username...",
                                          "> credentials alice", "> Play"}));
}

TEST_F(TermWindow, EnterDuringProgressDoesNothingUntilTheGameIsReady) {
    // The empty line arrives right after "Login", before the launcher says the game is ready.
    HostRun run = RunOnPipes(Setup({"--stepwise"}), "alice\npw\n\n");
    EXPECT_TRUE(InOrder(run.output, {"> Login", "> OnClose", "> window ended"}));
    EXPECT_EQ(run.output.find("> Play"), std::string::npos);
}

TEST_F(TermWindow, TheEndOfInputIsTheCloseRequest) {
    HostRun run = RunOnPipes(Setup(), "");
    EXPECT_EQ(run.status, 0);
    EXPECT_TRUE(InOrder(run.output, {"> PreInitDialog", "> InitDialog", "> OnClose", "> window ended"}));
    HostRun waiting = RunOnPipes(Setup({"--wait"}), "alice\n");
    EXPECT_TRUE(InOrder(waiting.output, {"Password...", "> OnClose", "> window ended"}));
}

TEST_F(TermWindow, AfterTheEndOfInputOnlyTheWaitSourceBringsTicks) {
    // The launcher leaves the close request unanswered: with a wait source that has nothing to
    // say for 300 ms, the Tick after the end of input is the only one.
    HostRun waiting = RunOnPipes(Setup({"--wait", "--ignore-close", "--quiet-ms", "300"}), "");
    EXPECT_TRUE(InOrder(waiting.output, {"> OnClose", "> quiet ticks 1\n"}));
    // Without a wait source the Ticks go on (paced, not in a busy loop).
    HostRun plain = RunOnPipes(Setup({"--ignore-close", "--quiet-ms", "300"}), "");
    size_t at = plain.output.find("> quiet ticks ");
    ASSERT_NE(at, std::string::npos) << plain.output;
    EXPECT_GT(std::stol(plain.output.substr(at + 14)), 2);
}

TEST_F(TermWindow, WithAWaitSourceTicksComeOnlyWhenItIsReadyOrItsTimeHasCome) {
    // Standard input stays open and quiet.
    HostRun quiet = RunOnPipes(Setup({"--wait", "--quiet-ms", "300"}), "", false);
    EXPECT_TRUE(InOrder(quiet.output, {"> quiet ticks 0\n"}));
    HostRun poked = RunOnPipes(Setup({"--wait", "--poke", "--quiet-ms", "300"}), "", false);
    EXPECT_TRUE(InOrder(poked.output, {"> quiet ticks 1\n"}));
    HostRun periodic =
        RunOnPipes(Setup({"--wait", "--period-ms", "100", "--quiet-ms", "300"}), "", false);
    size_t at = periodic.output.find("> quiet ticks ");
    ASSERT_NE(at, std::string::npos) << periodic.output;
    long ticks = std::stol(periodic.output.substr(at + 14));
    EXPECT_GE(ticks, 1);
    EXPECT_LE(ticks, 3);
    // A typed line brings one Tick.
    HostRun typed = RunOnPipes(Setup({"--wait", "--quiet-ms", "300"}), "/help\n", false);
    EXPECT_TRUE(InOrder(typed.output, {"Commands", "> quiet ticks 1\n"}));
}

TEST_F(TermWindow, NothingPastTheLastLineTheWindowNeededIsRead) {
    HostRun run = RunOnPipes(Setup({"--quit-on-login"}), "alice\npw\nNEXT LINE\nmore");
    EXPECT_TRUE(InOrder(run.output, {"> credentials alice", "> rest NEXT LINE\nmore"}));
}

TEST_F(TermWindow, TheLanguageFileReplacesTheBuiltInTexts) {
    ASSERT_TRUE(HY_OS::CreateDirectories(m_dir.Path("run/LarkLauncher")));
    HostSetup setup = Setup({"--lang", "LarkLauncher", "German"});
    setup.directory = m_dir.Path("run");
    auto write = [&](const std::string& name, const std::string& bytes) {
        ASSERT_TRUE(HY_OS::WriteFileAtomic(m_dir.Path("run/LarkLauncher/" + name + ".lang"), bytes));
    };
    write("German", "header\r\n112\r\n\r\n  Konto... \r\n113\r\nx\r\nKennwort...\r\n");
    HostRun run = RunOnPipes(setup, "alice\npw\n\n");
    EXPECT_TRUE(InOrder(run.output, {"Konto... \n", "Kennwort... \n", "> credentials alice"}));

    // Missing: the built-in texts.
    setup.arguments = {"--lang", "LarkLauncher", "Klingon"};
    run = RunOnPipes(setup, "alice\npw\n\n");
    EXPECT_TRUE(InOrder(run.output, {"Username... \n", "Password... \n", "> Play"}));

    // A record cut short stores an empty text; the others stay built in.
    write("Short", "header\n113\n");
    setup.arguments = {"--lang", "LarkLauncher", "Short"};
    run = RunOnPipes(setup, "alice\npw\n\n");
    EXPECT_TRUE(InOrder(run.output, {"Username... \n", "> credentials alice", "> Play"}));
    EXPECT_EQ(run.output.find("Password..."), std::string::npos);

    // No line separator at all: one header line, nothing stored.
    write("OneLine", "112 Konto... 113 Kennwort...");
    setup.arguments = {"--lang", "LarkLauncher", "OneLine"};
    run = RunOnPipes(setup, "alice\npw\n\n");
    EXPECT_TRUE(InOrder(run.output, {"Username... \n", "Password... \n", "> Play"}));

    // Escape sequences in a text are not passed to the terminal.
    write("Hostile", "header\n112\n\n\x1b[2JUser\\n\n");
    setup.arguments = {"--lang", "LarkLauncher", "Hostile"};
    run = RunOnPipes(setup, "alice\npw\n\n");
    EXPECT_TRUE(InOrder(run.output, {"[2JUser \n", "> Play"}));
    EXPECT_EQ(run.output.find('\033'), std::string::npos);
}

TEST_F(TermWindow, AlreadyRunningIsSaidOnStandardError) {
    HostRun run = RunOnPipes(Setup({"--already-running"}), "");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.output, "");
    EXPECT_TRUE(InOrder(run.errors, {"Larkspur is already running on your computer.\n\nPress the OK",
                                     "restart your computer to play.\n"}));
    EXPECT_EQ(run.errors.find('\r'), std::string::npos);
}

TEST_F(TermWindow, AHiddenWindowDrawsNothing) {
    HostRun run = RunOnPipes(Setup({"--hide-on-play"}), "alice\npw\n\n");
    // The page after hiding was asked for (the log line says so) but not drawn.
    EXPECT_TRUE(InOrder(run.output, {"Page: http://127.0.0.1/news?x=1", "> Play",
                                     "Navigate(http://127.0.0.1/after-hide)", "> window ended"}));
    EXPECT_EQ(run.output.find("Page: http://127.0.0.1/after-hide"), std::string::npos);
}

}  // namespace

// The pieces of the terminal front-end on their own: the line reader, the output and its
// clean-up of outside text, the progress bars and their rate, the dialog's modes and commands.
#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "CommandSink.h"
#include "LineReader.h"
#include "OsEnv.h"
#include "ProgressView.h"
#include "TempDir.h"
#include "TermDialog.h"
#include "TermOutput.h"
#include "UserRegistryStore.h"

namespace {

using namespace LarkTerm;

struct Pipe {
    int fds[2];
    Pipe() { EXPECT_EQ(pipe(fds), 0); }
    ~Pipe() {
        close(fds[0]);
        if (fds[1] >= 0) close(fds[1]);
    }
    void Write(const std::string& text) { ASSERT_EQ(write(fds[1], text.data(), text.size()), static_cast<ssize_t>(text.size())); }
    void CloseWrite() {
        close(fds[1]);
        fds[1] = -1;
    }
    std::string Rest() {
        fcntl(fds[0], F_SETFL, O_NONBLOCK);
        std::string rest;
        char byte;
        while (read(fds[0], &byte, 1) == 1) rest += byte;
        return rest;
    }
};

TEST(LineReader, ReadsOneLineAndLeavesTheRestInTheDescriptor) {
    Pipe pipe;
    pipe.Write("alice\r\nsecond line\nthird");
    LineReader reader(pipe.fds[0]);
    std::string line;
    ASSERT_EQ(reader.ReadSome(line), LineReader::RR_Line);
    EXPECT_EQ(line, "alice");
    // Nothing past the first line end was taken.
    EXPECT_EQ(pipe.Rest(), "second line\nthird");
}

TEST(LineReader, APartialLineWaitsAndTheLastLineComesBeforeTheEnd) {
    Pipe pipe;
    LineReader reader(pipe.fds[0]);
    std::string line;
    pipe.Write("par");
    EXPECT_EQ(reader.ReadSome(line), LineReader::RR_NoLine);
    pipe.Write("tial\nlast");
    ASSERT_EQ(reader.ReadSome(line), LineReader::RR_Line);
    EXPECT_EQ(line, "partial");
    pipe.CloseWrite();
    ASSERT_EQ(reader.ReadSome(line), LineReader::RR_Line);
    EXPECT_EQ(line, "last");
    EXPECT_EQ(reader.ReadSome(line), LineReader::RR_End);
    EXPECT_TRUE(reader.Ended());
    EXPECT_EQ(reader.ReadSome(line), LineReader::RR_End);
}

TEST(LineReader, AnOverlongLineIsCutAndTheNextLineIsWhole) {
    Pipe pipe;
    LineReader reader(pipe.fds[0]);
    std::string line;
    pipe.Write(std::string(LineReader::kMaxLine + 100, 'x') + "\nnext\n");
    ASSERT_EQ(reader.ReadSome(line), LineReader::RR_Line);
    EXPECT_EQ(line.size(), LineReader::kMaxLine);
    ASSERT_EQ(reader.ReadSome(line), LineReader::RR_Line);
    EXPECT_EQ(line, "next");
}

TEST(TermOutput, OutsideTextLosesItsControlCharacters) {
    EXPECT_EQ(Printable("ok\033[2J\033]0;title\007 \x7f" "done"), "ok[2J]0;title done");
    // C1 controls (U+009B is a one-character CSI) go; other non-ASCII characters stay.
    EXPECT_EQ(Printable("caf\xc3\xa9 \xc2\x9b" "31m!"), "caf\xc3\xa9 31m!");
    EXPECT_EQ(Printable("one\r\ntwo\n", true), "one\ntwo\n");
    EXPECT_EQ(Printable("one\r\ntwo\n"), "onetwo");
    // A sequence cut short at the end is dropped rather than passed on half.
    EXPECT_EQ(Printable("end\xe2\x82"), "end");
    // A lead byte followed by a control character: the lead byte goes, the control too.
    EXPECT_EQ(Printable("caf\xc3\x01\x7f!"), "caf!");
    EXPECT_EQ(Printable("a\xe2\x82\x1b[2J"), "a[2J");
    // A stray continuation byte is no sequence either.
    EXPECT_EQ(Printable("a\x80z"), "az");
}

std::string Captured(char* buffer, size_t size) { return std::string(buffer, size); }

TEST(TermOutput, ATerminalRedrawsTheStatusAreaInPlaceAndOtherStreamsGetPlainLines) {
    char* buffer = nullptr;
    size_t size = 0;
    FILE* stream = open_memstream(&buffer, &size);
    {
        TermOutput terminal(stream, true, 30);
        terminal.Status({"first", "second"});
        terminal.Status({"first again", "a line far too wide for thirty columns"});
        terminal.Link("Page: ", "http://host/p?q=1");
        std::fflush(stream);
        std::string shown = Captured(buffer, size);
        EXPECT_NE(shown.find("\r\033[1A"), std::string::npos) << shown;
        EXPECT_NE(shown.find("\r\033[2Ka line far too wide for thirt\n"), std::string::npos) << shown;
        EXPECT_NE(shown.find("Page: \033]8;;http://host/p?q=1\033\\http://host/p?q=1\033]8;;\033\\\n"),
                  std::string::npos);
    }
    std::fclose(stream);
    free(buffer);

    buffer = nullptr;
    stream = open_memstream(&buffer, &size);
    {
        TermOutput plain(stream, false, 30);
        plain.Status({"first", "second"});
        plain.Link("Page: ", "http://host/\033[31mred");
        plain.Prompt("Username... ");
        std::fflush(stream);
        EXPECT_EQ(Captured(buffer, size), "first\nsecond\nPage: http://host/[31mred\nUsername... \n");
    }
    std::fclose(stream);
    free(buffer);
}

TEST(TermOutput, NothingIsWrittenWhileHidden) {
    char* buffer = nullptr;
    size_t size = 0;
    FILE* stream = open_memstream(&buffer, &size);
    TermOutput output(stream, false, 80);
    output.Line("shown");
    output.SetHidden(true);
    output.Line("not shown");
    output.Status({"nor this"});
    std::fflush(stream);
    EXPECT_EQ(Captured(buffer, size), "shown\n");
    std::fclose(stream);
    free(buffer);
}

TEST(Progress, BarsDurationsAndTheRateFromPercentOverTime) {
    EXPECT_EQ(BarText(0, 10), "[----------]");
    EXPECT_EQ(BarText(55, 10), "[#####-----]");
    EXPECT_EQ(BarText(250, 4), "[####]");
    EXPECT_EQ(DurationText(65), "1:05");
    EXPECT_EQ(DurationText(3725), "1:02:05");
    EXPECT_EQ(DurationText(-3), "0:00");

    RateEstimator rate;
    double perSecond = 0, left = 0;
    rate.Add(1000, 10);
    EXPECT_FALSE(rate.PercentPerSecond(perSecond));
    rate.Add(11000, 60);
    ASSERT_TRUE(rate.PercentPerSecond(perSecond));
    EXPECT_DOUBLE_EQ(perSecond, 5.0);
    ASSERT_TRUE(rate.SecondsLeft(left));
    EXPECT_DOUBLE_EQ(left, 8.0);
    // A percent going back (a new stage) starts the estimate over.
    rate.Add(12000, 5);
    EXPECT_FALSE(rate.PercentPerSecond(perSecond));
    // No progress: no time left can be told.
    rate.Add(13000, 5);
    EXPECT_FALSE(rate.SecondsLeft(left));
}

TEST(Progress, PlainOutputHasOneLinePerChange) {
    char* buffer = nullptr;
    size_t size = 0;
    FILE* stream = open_memstream(&buffer, &size);
    {
        TermOutput output(stream, false, 80);
        ProgressView view(output);
        view.SetFile("hidden before the bars are shown", 10);
        view.Reset("Total Progress");
        view.SetFile("Patching : a.wad", 10);
        view.SetFile("Patching : a.wad", 10);
        view.SetTotal(20, 1000);
        view.SetTotal(20, 2000);
        std::fflush(stream);
        EXPECT_EQ(Captured(buffer, size),
                  "File: hidden before the bars are shown 0%\nTotal: Total Progress 0%\n"
                  "File: Patching : a.wad 10%\nTotal: Total Progress 20%\n");
        view.SetTotal(60, 6000);
        EXPECT_NE(view.TotalLine().find("8.0 %/s  0:05 left"), std::string::npos)
            << view.TotalLine();
    }
    std::fclose(stream);
    free(buffer);
}

uint64_t g_nowMs = 0;
uint64_t ManualClock() { return g_nowMs; }

TEST(Progress, ATerminalDrawsBarMovementsAtMostEveryHundredMilliseconds) {
    char* buffer = nullptr;
    size_t size = 0;
    FILE* stream = open_memstream(&buffer, &size);
    {
        TermOutput output(stream, true, 100);
        ProgressView view(output, &ManualClock);
        auto draws = [&] {
            std::fflush(stream);
            std::string shown(buffer, size);
            size_t count = 0;
            for (size_t at = shown.find("File  ["); at != std::string::npos;
                 at = shown.find("File  [", at + 1))
                ++count;
            return count;
        };
        g_nowMs = 5000;
        view.Reset("Total Progress");
        EXPECT_EQ(draws(), 1u);
        view.SetFile("Patching : a.wad", 10);  // a new file: at once
        EXPECT_EQ(draws(), 2u);
        view.SetFile("Patching : a.wad", 20);  // the same file moving: held back
        view.SetFile("Patching : a.wad", 30);
        EXPECT_EQ(draws(), 2u);
        EXPECT_EQ(view.RedrawDueInMs(), 100);
        g_nowMs += 60;
        view.RedrawIfDue();
        EXPECT_EQ(draws(), 2u);
        EXPECT_EQ(view.RedrawDueInMs(), 40);
        g_nowMs += 40;
        view.RedrawIfDue();
        EXPECT_EQ(draws(), 3u);
        EXPECT_EQ(view.RedrawDueInMs(), -1);
        std::fflush(stream);
        EXPECT_NE(std::string(buffer, size).rfind(" 30%  Patching : a.wad"), std::string::npos);
        // The end of the whole download is never held back.
        view.SetTotal(100, g_nowMs);
        EXPECT_EQ(draws(), 4u);
    }
    std::fclose(stream);
    free(buffer);
}

// The dialog with a recording delegate and plain output.
class DialogTest : public ::testing::Test {
  protected:
    void SetUp() override {
        HY_OS::SetEnv("XDG_CONFIG_HOME", m_dir.Path());
        m_delegate.object = this;
        m_delegate.function = [](void* self, ExeParams& params) {
            auto* test = static_cast<DialogTest*>(self);
            // Log lines (a first start has no user-name key yet) are not what these tests look at.
            if (std::string(params.command).rfind("Log|", 0) != 0)
                test->commands.push_back(params.command);
            params.handled = test->handleClose && std::string(params.command) == "OnClose";
        };
        m_sink.SetDelegate(&m_delegate);
        m_stream = open_memstream(&m_buffer, &m_size);
        m_output = std::make_unique<TermOutput>(m_stream, false, 80);
    }
    void TearDown() override {
        m_dialog.reset();
        m_output.reset();
        std::fclose(m_stream);
        free(m_buffer);
        HY_OS::SetEnv("XDG_CONFIG_HOME", "");
    }
    TermDialog& Open(const std::string& eula = "") {
        m_dialog = std::make_unique<TermDialog>(DialogArgs{"Software\\Test", eula, -1}, m_sink,
                                                *m_output);
        m_dialog->Open();
        return *m_dialog;
    }
    std::string Shown() {
        std::fflush(m_stream);
        return std::string(m_buffer, m_size);
    }
    std::string Stored() {
        std::string name;
        UserRegistryStore(UserRegistryStore::DefaultPath()).ReadString("Software\\Test", "UserName", name);
        return name;
    }

    std::vector<std::string> commands;
    bool handleClose = false;
    hytest::TempDir m_dir;
    CommandDelegate m_delegate;
    LarkUi::CommandSink m_sink;
    FILE* m_stream = nullptr;
    char* m_buffer = nullptr;
    size_t m_size = 0;
    std::unique_ptr<TermOutput> m_output;
    std::unique_ptr<TermDialog> m_dialog;
};

TEST_F(DialogTest, TheFileBarShowsTwentyFiveCharactersOfTheNameAtMost) {
    TermDialog& dialog = Open();
    dialog.ShowProgressControls();
    dialog.ReportFileProgress("abcdefghijklmnopqrstuvwxy", 1, false);   // 25 characters
    dialog.ReportFileProgress("Zabcdefghijklmnopqrstuvwxy", 2, true);   // 26 characters
    std::string shown = Shown();
    EXPECT_NE(shown.find("File: Patching : abcdefghijklmnopqrstuvwxy 1%"), std::string::npos) << shown;
    EXPECT_NE(shown.find("File: Scanning : ...abcdefghijklmnopqrstuvwxy 2%"), std::string::npos) << shown;
}

TEST_F(DialogTest, ProgressControlsTwiceChangeNothingTheSecondTime) {
    TermDialog& dialog = Open();
    dialog.ShowProgressControls();
    dialog.ReportTotalProgress(40, 1000);
    size_t before = Shown().size();
    dialog.ShowProgressControls();
    EXPECT_EQ(Shown().size(), before);
    // The login controls always start over.
    dialog.ShowLoginControls();
    EXPECT_EQ(dialog.Mode(), ModeLogin);
    EXPECT_EQ(dialog.Step(), LS_Name);
}

TEST_F(DialogTest, TheRememberSettingDecidesWhatIsStored) {
    TermDialog& dialog = Open();
    EXPECT_FALSE(dialog.Remember());  // nothing remembered yet
    dialog.OnLine("/remember on");
    dialog.OnLine("ca rol");
    dialog.OnLine("secret");
    ASSERT_EQ(commands.back(), "Login");
    std::u16string name, password;
    name.reserve(64);
    password.reserve(64);
    dialog.GetUserNameAndPassword(name, password);
    EXPECT_EQ(name, u"carol");
    EXPECT_EQ(password, u"secret");
    EXPECT_EQ(Stored(), "carol");

    dialog.OnLine("/remember off");
    dialog.Close();
    EXPECT_EQ(Stored(), "");
}

TEST_F(DialogTest, TheRememberedNameIsOfferedAndTakenByAnEmptyLine) {
    UserRegistryStore(UserRegistryStore::DefaultPath()).WriteString("Software\\Test", "UserName", "bob");
    TermDialog& dialog = Open();
    EXPECT_TRUE(dialog.Remember());
    dialog.ShowPromptIfNeeded();
    EXPECT_NE(Shown().find("Username... [bob]"), std::string::npos) << Shown();
    dialog.OnLine("");
    EXPECT_EQ(dialog.Step(), LS_Password);
    dialog.OnLine("pw");
    std::u16string name, password;
    name.reserve(64);
    password.reserve(64);
    dialog.GetUserNameAndPassword(name, password);
    EXPECT_EQ(name, u"bob");
}

TEST_F(DialogTest, CommandsBecomeLauncherCommands) {
    TermDialog& dialog = Open();
    for (const char* line : {"/settings", "/home", "/register", "/account", "/limit 250",
                             "/limit 0", "/limit -5", "/limit 99999999999", "/quit", "/close",
                             "/nonsense"})
        dialog.OnLine(line);
    EXPECT_EQ(commands, (std::vector<std::string>{"PreInitDialog", "InitDialog", "ClickConfig",
                                                  "ClickHome", "ClickRegister", "ClickAccount",
                                                  "SetDownloadLimit|250", "SetDownloadLimit|0",
                                                  "Quit", "OnClose"}));
    EXPECT_NE(Shown().find("Usage: /limit <kbps>"), std::string::npos);
    EXPECT_NE(Shown().find("Unknown command /nonsense"), std::string::npos);
    // The launcher left "OnClose" unhandled: the window stays.
    EXPECT_FALSE(dialog.QuitPosted());
    handleClose = true;
    dialog.OnLine("/close");
    EXPECT_TRUE(dialog.QuitPosted());
}

TEST_F(DialogTest, ThePasswordPromptTakesASlashLineAsThePassword) {
    TermDialog& dialog = Open();
    dialog.OnLine("alice");
    dialog.OnLine("/quit");
    EXPECT_EQ(commands.back(), "Login");
    std::u16string name, password;
    name.reserve(64);
    password.reserve(64);
    dialog.GetUserNameAndPassword(name, password);
    EXPECT_EQ(password, u"/quit");
}

TEST_F(DialogTest, EnterPlaysOnlyOnceTheGameIsReady) {
    TermDialog& dialog = Open();
    dialog.OnLine("alice");
    dialog.OnLine("pw");
    dialog.ShowProgressControls();
    dialog.OnLine("");
    EXPECT_EQ(commands.back(), "Login");
    dialog.ReadyToPlay();
    dialog.OnLine("");
    EXPECT_EQ(commands.back(), "Play");
    EXPECT_NE(Shown().find("PLAY! Press Enter to play."), std::string::npos);
}

}  // namespace

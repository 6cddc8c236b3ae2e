#include "RunCommand.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <filesystem>

#include "HostDefaults.h"
#include "HostTestSupport.h"
#include "TempDir.h"

namespace larkhost {
namespace {

TEST(RunCommandArguments, LoggingAddsItsOptionsAndTheProgramsFolderBecomesTheWorkingDirectory) {
    RunCommandSettings s;
    s.command = "/games/x.exe -a";
    EXPECT_EQ(RunCommandArguments(s, {"/games/x.exe", "-a"}, ""),
              (std::vector<std::string>{"--bottle", "default", "--new-console", "--workdir",
                                        "/games", "--", "/games/x.exe", "-a"}));
    s.bottle = "B";
    s.logEnabled = true;
    s.logFile = "/l/B.ptlog";
    s.channels = "+pid";
    s.environment = "A=1";
    EXPECT_EQ(RunCommandArguments(s, {"x.exe"}, "-"),
              (std::vector<std::string>{"--bottle", "B", "--new-console", "--verbose", "--pt-log",
                                        "-", "--debugmsg", "+pid", "--env", "A=1", "--", "x.exe"}));
    s.launcherMode = true;
    EXPECT_EQ(RunCommandArguments(s, {}, "/l/B.ptlog"),
              (std::vector<std::string>{"--bottle", "B", "--new-console", "--verbose", "--pt-log",
                                        "/l/B.ptlog", "--debugmsg", "+pid", "--env", "A=1"}));
    EXPECT_TRUE(RunCommandController::CanRun(s));
    EXPECT_FALSE(RunCommandController::CanRun(RunCommandSettings{}));
    EXPECT_EQ(CommandForFile("/a b/c.exe"), "\"/a b/c.exe\"");
}

class RunCommandTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::filesystem::create_directories(root.Path("bin"));
        // The fake ptstart records its arguments, writes to both streams and fails on request.
        test::WriteScript(root.Path("bin/ptstart"),
                          "printf '%s\\n' \"$@\" > \"$(dirname \"$0\")/../args\"\n"
                          "echo 'some output'\necho 'wine: trouble' >&2\n"
                          "case \"$*\" in *fail*) exit 3 ;; esac\nexit 0\n");
    }
    hytest::TempDir root;
    hytest::TempDir config;
    HostDefaults defaults{config.Path("larkhost.conf")};
};

TEST_F(RunCommandTest, AFailingCommandReportsItsStatusOutputAndErrorText) {
    RunCommandController controller(root.Path(), defaults, test::SplitOnSpaces);
    RunCommandSettings s;
    s.command = "C:\\x.exe fail";
    bool done = false;
    RunCommandResult result;
    ASSERT_TRUE(controller.Run(s, [&](const RunCommandResult& r) {
        result = r;
        done = true;
    }));
    EXPECT_TRUE(controller.Running());
    ASSERT_TRUE(test::PumpUntil([&] { return done; }));
    EXPECT_FALSE(controller.Running());
    EXPECT_EQ(result.status, 3);
    EXPECT_TRUE(result.showResults);
    EXPECT_EQ(result.message, "The command C:\\x.exe fail returned 3.");
    EXPECT_EQ(result.details,
              "Command output:\nsome output\n\n\nCommand error text:\nwine: trouble\n");
}

TEST_F(RunCommandTest, ASucceedingCommandWithALogFileWritesTheHeaderAndItsErrorOutputThere) {
    RunCommandController controller(root.Path(), defaults, test::SplitOnSpaces);
    RunCommandSettings s;
    s.command = "C:\\x.exe";
    s.bottle = "Games";
    s.logEnabled = true;
    s.logFile = root.Path("Games.ptlog");
    s.channels = "+pid,+file";
    bool done = false;
    RunCommandResult result;
    controller.Run(s, [&](const RunCommandResult& r) {
        result = r;
        done = true;
    });
    ASSERT_TRUE(test::PumpUntil([&] { return done; }));
    EXPECT_FALSE(result.showResults);
    std::string log = test::ReadFile(s.logFile);
    EXPECT_EQ(log.rfind("Running command: C:\\x.exe\nBottle: Games\nDebug channels: +pid,+file\n"
                        "Extra environment variables \n\nSystem: ",
                        0),
              0u)
        << log;
    EXPECT_NE(log.find("wine: trouble\n"), std::string::npos);  // the error output went to the file
    EXPECT_EQ(result.error, "");
    EXPECT_NE(test::ReadFile(root.Path("args")).find("--pt-log\n-\n--debugmsg\n+pid,+file\n"),
              std::string::npos);
    mode_t mask = umask(0);
    umask(mask);
    EXPECT_EQ(static_cast<unsigned>(std::filesystem::status(s.logFile).permissions() &
                                    std::filesystem::perms::all),
              0644u & ~static_cast<unsigned>(mask));
    auto recent = RecentLoggingOptions(defaults);
    ASSERT_EQ(recent.size(), 1u);
    EXPECT_EQ(recent[0].channels, "+pid,+file");
}

}  // namespace
}  // namespace larkhost

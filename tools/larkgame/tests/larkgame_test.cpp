#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "OsNamedEvent.h"
#include "TempDir.h"

namespace {

struct GameRun {
    int exitCode = -1;
    std::string out;
    std::string err;
};

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string Quoted(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

// Runs `program` with `arguments` (shell words) in `directory` under the environment settings
// `environment` ("NAME=value ..."), collecting its output.
GameRun RunGame(const std::string& program, const std::string& arguments, const std::string& directory,
            const std::string& environment, const hytest::TempDir& scratch) {
    std::string command = "cd " + Quoted(directory) + " && env " + environment + " " +
                          Quoted(program) + " " + arguments + " >" + Quoted(scratch / "out") +
                          " 2>" + Quoted(scratch / "err");
    int status = std::system(command.c_str());
    GameRun run;
    if (status != -1 && WIFEXITED(status)) run.exitCode = WEXITSTATUS(status);
    run.out = ReadAll(scratch / "out");
    run.err = ReadAll(scratch / "err");
    return run;
}

std::string EventName(const char* what) {
    return std::string("HYTestStartup.") + what + "." + std::to_string(::getpid());
}

TEST(LarkGame, SetsTheStartupEventAndShowsItsCommandLineAndDirectory) {
    hytest::TempDir scratch;
    hytest::TempDir bin;
    const std::string name = EventName("up");
    auto event = HY_OS::NamedEvent::CreateFresh(name);
    ASSERT_NE(event, nullptr);
    GameRun run = RunGame(LARKGAME_PATH, "-A en '' -U ..42 s3cret Rowan", bin.Path(),
                      "LARKGAME_EVENT=" + name, scratch);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(event->WaitMs(10000)) << "the game set the event it was told to";
    event->Remove();
    EXPECT_NE(run.out.find("larkgame: -A en  -U ..42 *** Rowan\n"), std::string::npos) << run.out;
    EXPECT_EQ(run.out.find("s3cret"), std::string::npos) << "the pass key is never shown";
    char* real = ::realpath(bin.Path().c_str(), nullptr);
    ASSERT_NE(real, nullptr);
    EXPECT_NE(run.out.find("larkgame: working directory " + std::string(real) + "\n"),
              std::string::npos)
        << run.out;
    std::free(real);
}

TEST(LarkGame, NoSignalAndTheExitCodeComeFromTheEnvironment) {
    hytest::TempDir scratch;
    const std::string name = EventName("quiet");
    auto event = HY_OS::NamedEvent::CreateFresh(name);
    ASSERT_NE(event, nullptr);
    GameRun run = RunGame(LARKGAME_PATH, "play", scratch.Path(),
                      "LARKGAME_EVENT=" + name + " LARKGAME_NO_SIGNAL=1 LARKGAME_EXIT=7", scratch);
    EXPECT_EQ(run.exitCode, 7);
    EXPECT_NE(run.out.find("larkgame: play\n"), std::string::npos);
    // The game has ended: a set would already be there.
    EXPECT_FALSE(event->WaitMs(0));
    event->Remove();

    run = RunGame(LARKGAME_PATH, "", scratch.Path(), "LARKGAME_EXIT=seven", scratch);
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_NE(run.err.find("LARKGAME_EXIT is not a number: seven"), std::string::npos) << run.err;
    EXPECT_TRUE(run.out.empty());
}

TEST(LarkGame, AMissingEventIsReportedAndTheGameGoesOn) {
    hytest::TempDir scratch;
    GameRun run = RunGame(LARKGAME_PATH, "alone", scratch.Path(),
                      "LARKGAME_EVENT=" + EventName("nobody"), scratch);
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_NE(run.err.find("no start-up event"), std::string::npos) << run.err;
    EXPECT_NE(run.out.find("larkgame: alone\n"), std::string::npos);
}

TEST(LarkGame, TheWindowsBuildRunsUnderWine) {
    if (::access(LARKGAME_WINDOWS_PATH, F_OK) != 0) {
        GTEST_SKIP() << "no Windows build of larkgame at " << LARKGAME_WINDOWS_PATH
                     << " (cmake --preset windows && cmake --build --preset windows --target larkgame)";
    }
    if (std::system("command -v wine64 >/dev/null 2>&1 || command -v wine >/dev/null 2>&1 || "
                    "test -x /usr/lib/wine/wine64") != 0) {
        GTEST_SKIP() << "Wine is not installed";
    }
    hytest::TempDir scratch;
    GameRun run = RunGame(WINE_RUN_PATH, Quoted(LARKGAME_WINDOWS_PATH) + " -U ..7 key Ash",
                      scratch.Path(), "LARKGAME_EXIT=5", scratch);
    ASSERT_NE(run.exitCode, 125) << "wine-run did not run the program: " << run.err;
    EXPECT_EQ(run.exitCode, 5) << run.err;
    EXPECT_NE(run.out.find("larkgame: -U ..7 *** Ash"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("larkgame: working directory "), std::string::npos) << run.out;
    // Nobody inside Wine made the event: the game says so and goes on.
    EXPECT_NE(run.err.find("no start-up event \"HYStartupEvent\""), std::string::npos) << run.err;
}

}  // namespace

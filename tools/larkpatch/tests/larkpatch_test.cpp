// larkpatch: its command line, and the program itself patching against a scripted patch server
// and the loopback HTTP server.
#include "LarkPatchOptions.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include "patcher_test_support.h"

namespace patchtest {
namespace {

LarkPatchOptions Parse(const std::vector<std::string>& args, bool expectGood = true) {
    LarkPatchOptions options;
    std::string error;
    EXPECT_EQ(ParseLarkPatchOptions(args, options, error), expectGood) << error;
    return options;
}

TEST(LarkPatchOptions, DefaultsFollowTheLaunchersGamePatchAndBadArgumentsAreRefused) {
    LarkPatchOptions o = Parse({"--server", "patch.example:12500", "--install", "/games/lark", "--package", "Base,Maps"});
    EXPECT_EQ(o.host, "patch.example");
    EXPECT_EQ(o.port, 12500);
    EXPECT_EQ(o.install, "/games/lark/");
    EXPECT_EQ(o.packages, (std::vector<std::string>{"Base", "Maps"}));
    EXPECT_EQ(o.cache, "/games/lark/PatchInfo/");
    EXPECT_EQ(o.data, "./");
    EXPECT_EQ(o.locale, "English");
    EXPECT_EQ(o.log, "LarkPatch.Log.txt");
    o = Parse({"--server", "h:1", "--install", "i/", "--package", "P", "--cache", "c", "--data", "d", "--locale",
               "German", "--log", "x.txt"});
    EXPECT_EQ(o.cache, "c/");
    EXPECT_EQ(o.data, "d/");
    EXPECT_EQ(o.locale, "German");
    EXPECT_TRUE(Parse({"--help"}).help);

    const std::vector<std::vector<std::string>> bad = {
        {},
        {"--server", "host", "--install", "i", "--package", "P"},
        {"--server", "host:0", "--install", "i", "--package", "P"},
        {"--server", "host:70000", "--install", "i", "--package", "P"},
        {"--server", "host:12a", "--install", "i", "--package", "P"},
        {"--server", "h:1", "--package", "P"},
        {"--server", "h:1", "--install", "i"},
        {"--server", "h:1", "--install", "i", "--package", "A,,B"},
        {"--server", "h:1", "--install", "i", "--package", "P", "--frobnicate", "x"},
        {"--server", "h:1", "--install", "i", "--package"},
        {"--server", "h:1", "--install", "i", "--package", "P", "--log", ""},
    };
    for (const auto& args : bad) Parse(args, false);
}

// Runs the program while the calling worker thread keeps serving; answers its exit status.
int RunProgram(const std::vector<std::string>& args, const std::string& directory, std::string& output) {
    std::string outPath = directory + "/larkpatch.out";
    pid_t pid = fork();
    if (pid == 0) {
        int fd = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(fd, STDOUT_FILENO);
        dup2(fd, STDERR_FILENO);
        if (chdir(directory.c_str()) != 0) _exit(126);
        std::vector<char*> argv{const_cast<char*>(LARKPATCH_PATH)};
        for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
        argv.push_back(nullptr);
        execv(LARKPATCH_PATH, argv.data());
        _exit(127);
    }
    int status = -1;
    bool ended = PumpUntil([&] { return waitpid(pid, &status, WNOHANG) == pid; }, 60000);
    if (!ended) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
    }
    output = ReadFile(outPath);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(LarkPatchProgram, PatchesThePackagesPrintsALinePerFileAndExitsWithTheFailureCode) {
    RunOnWorker([] {
        TempDir dir;
        PatchRepo repo;
        repo.SetPackage("Base", {{"Data/a.bin", RandomBytes(2000, 1)}, {"Bin/tool", "#!/bin/sh\n"}});
        repo.SetPackage("Maps", {{"Maps/m.bin", RandomBytes(3000, 2)}});
        auto server = ServeRepo(repo);
        std::string install = dir.Path("game");
        std::vector<std::string> args = {"--server", "127.0.0.1:" + std::to_string(server->Port()), "--install",
                                         install, "--package", "Base,Maps", "--data", HY_DATA_SOURCE_DIR};
        std::string output;
        ASSERT_EQ(RunProgram(args, dir.Path(), output), 0) << output;
        EXPECT_NE(output.find("fetched   Data/a.bin\n"), std::string::npos) << output;
        EXPECT_NE(output.find("fetched   Maps/m.bin\n"), std::string::npos) << output;
        EXPECT_NE(output.find("larkpatch: 3 files checked, 3 fetched, "), std::string::npos) << output;
        EXPECT_EQ(ReadFile(install + "/Maps/m.bin"), RandomBytes(3000, 2));
        std::string log = ReadFile(dir / "LarkPatch.Log.txt");
        EXPECT_NE(log.find("CORE_PATCH_SYS"), std::string::npos);
        EXPECT_NE(log.find("Received MSG_LATEST_FILE_LIST_V2"), std::string::npos);

        ASSERT_EQ(RunProgram(args, dir.Path(), output), 0) << output;
        EXPECT_NE(output.find("current   Data/a.bin\n"), std::string::npos) << output;
        EXPECT_NE(output.find("larkpatch: 3 files checked, 0 fetched, 0 bytes"), std::string::npos) << output;

        args[5] = "Base,Nowhere";
        EXPECT_EQ(RunProgram(args, dir.Path(), output), PF_UnknownPackage) << output;
        EXPECT_NE(output.find("larkpatch: patch failed: PF_UnknownPackage (11)"), std::string::npos) << output;

        EXPECT_EQ(RunProgram({"--server", "nowhere", "--install", install}, dir.Path(), output), LPE_Usage);
        EXPECT_NE(output.find("usage: larkpatch --server HOST:PORT"), std::string::npos) << output;
        EXPECT_EQ(RunProgram({"--help"}, dir.Path(), output), 0);
        EXPECT_EQ(RunProgram({"--server", "127.0.0.1:1", "--install", install, "--package", "Base", "--data",
                              dir.Path("no-modules")},
                             dir.Path(), output),
                  LPE_Setup)
            << output;
    });
}

}  // namespace
}  // namespace patchtest

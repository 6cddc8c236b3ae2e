// The launcher as a process, run from a copy in a temporary game root.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "OsFile.h"
#include "launcher_test_support.h"

namespace {

using launcher_test::ChildProcess;
using launcher_test::FakeWindowEnvironment;
using launcher_test::GameRoot;
using launcher_test::ProcessResult;
using launcher_test::ReadFile;
using launcher_test::RunLauncher;
using launcher_test::WaitForText;
using launcher_test::WriteFile;

bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

size_t CountOf(const std::string& text, const std::string& part) {
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
    return count;
}

// Waits up to 30 seconds for `part` to appear `count` times in the file.
bool WaitForCount(const std::string& path, const std::string& part, size_t count) {
    for (int waited = 0; waited < 30000; waited += 10) {
        if (CountOf(ReadFile(path), part) >= count) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

TEST(LauncherProcess, AMissingOrBrokenConfigurationEndsWithoutAWindow) {
    GameRoot root;
    std::string record = root.Root() + "/window.txt";
    WriteFile(root.InBank("LarkLauncher.Log.txt"), "left over from an earlier run\n");

    ProcessResult missing = RunLauncher(root, {"-r"}, FakeWindowEnvironment(record));
    EXPECT_EQ(missing.exitCode, 1);
    std::string log = root.ReadLog();
    EXPECT_FALSE(Has(log, "left over")) << "the log starts afresh at each launch";
    EXPECT_TRUE(Has(log, "[ERRO] CORE_PATCH_CLNT PatchClientConfig.cpp")) << log;
    EXPECT_TRUE(Has(log, "Error loading config file: PatchConfig.xml.\n"));
    EXPECT_TRUE(Has(log, "[ERRO] HYPatchClient   PatchClientUI.cpp")) << log;
    EXPECT_TRUE(Has(log, "Configuration file read error.\n"));
    EXPECT_EQ(ReadFile(record), "");  // the window library was never called

    std::string garbage;
    for (int i = 0; i < 100000; ++i) garbage.push_back(static_cast<char>((i * 7919) >> 3));
    WriteFile(root.InBank("PatchConfig.xml"), garbage);
    ProcessResult broken = RunLauncher(root, {"-r"}, FakeWindowEnvironment(record));
    EXPECT_EQ(broken.exitCode, 1);
    EXPECT_TRUE(Has(root.ReadLog(), "Configuration file read error.\n"));
    EXPECT_EQ(ReadFile(record), "");

    WriteFile(root.InBank("PatchConfig.xml"), "<root><PatchServerHostname host=\"h\"/></root>");
    ProcessResult incomplete = RunLauncher(root, {}, FakeWindowEnvironment(record));
    EXPECT_EQ(incomplete.exitCode, 1);
    log = root.ReadLog();
    EXPECT_TRUE(Has(log, "Unable to read mandatory parameter LoginHostname from the config file.\n"));
    EXPECT_TRUE(Has(log, "Configuration file read error.\n"));
    EXPECT_EQ(ReadFile(record), "");
}

TEST(LauncherProcess, AFullStartHandsTheWindowItsSettings) {
    GameRoot root;
    root.WriteConfig();
    WriteFile(root.Root() + "/Lang.txt", "French\r\nignored");
    WriteFile(root.Root() + "/NoLangChange.txt", "");
    std::string record = root.Root() + "/window.txt";

    ProcessResult result = RunLauncher(root, {"-r", "-x"}, FakeWindowEnvironment(record));
    EXPECT_EQ(result.exitCode, 1);
    // An unknown option is reported and start-up goes on.
    EXPECT_TRUE(Has(result.standardError, "Illegal argument: <x>.  Legal arguments are:\n"));
    EXPECT_FALSE(HY_OS::FileExists(root.Root() + "/NoLangChange.txt"));
    std::string calls = ReadFile(record);
    EXPECT_TRUE(Has(calls, "|Initialize|" + root.LauncherName() + "|French\n")) << calls;
    EXPECT_TRUE(Has(calls, "|ShowUI|Larkspur.skf|0|0|Software\\Halcyra\\Larkspur|"
                           "http://127.0.0.1:8080/eula.html\n"))
        << calls;
    EXPECT_TRUE(Has(calls, "|Delegate|1|0\n")) << calls;
    EXPECT_TRUE(Has(calls, "|Closed\n"));
    EXPECT_FALSE(Has(calls, "AlreadyRunning"));
    EXPECT_TRUE(HY_OS::FileExists(root.InBank("LarkLauncher.Log.txt")));
    EXPECT_FALSE(Has(root.ReadLog(), "[ERRO]")) << root.ReadLog();
}

TEST(LauncherProcess, BadLanguageFilesAndOverlongArguments) {
    GameRoot root;
    root.WriteConfig();
    HY_OS::CreateDirectories(root.Root() + "/Lang.txt");  // exists, but cannot be read as a file
    std::string record = root.Root() + "/window.txt";
    ProcessResult result = RunLauncher(
        root, {"-r", "-p:" + std::string(100000, 'k'), "-u:" + std::string(5000, '9'), "-n"},
        FakeWindowEnvironment(record));
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_TRUE(Has(ReadFile(record), "|Initialize|" + root.LauncherName() + "|English\n"));
}

TEST(LauncherProcess, ASecondCopyStopsUnlessAUserIdIsHandedOver) {
    GameRoot root;
    root.WriteConfig();
    std::string record = root.Root() + "/window.txt";
    std::string hold = root.Root() + "/close-window";
    auto environment = FakeWindowEnvironment(record, hold);

    ChildProcess first(root.Launcher(), {"-r"}, environment, root.Bank());
    ASSERT_TRUE(first.Started());
    ASSERT_TRUE(WaitForText(record, "|ShowUI|"));  // the first copy's window is open

    ChildProcess second(root.Launcher(), {"-r"}, environment, root.Bank());
    ProcessResult secondResult = second.Wait(20000);
    EXPECT_EQ(secondResult.exitCode, 1);
    std::string calls = ReadFile(record);
    EXPECT_TRUE(Has(calls, "|AlreadyRunning\n")) << calls;
    EXPECT_EQ(CountOf(calls, "|Initialize|"), 1u) << "only the first copy opens a window";

    ChildProcess relaunched(root.Launcher(), {"-r", "-u:5", "-p:key"}, environment, root.Bank());
    // The relaunched copy passes the check and opens its window beside the first.
    EXPECT_TRUE(WaitForCount(record, "|ShowUI|", 2)) << ReadFile(record);

    WriteFile(hold, "");
    EXPECT_EQ(first.Wait(30000).exitCode, 1);
    EXPECT_EQ(relaunched.Wait(30000).exitCode, 1);
    calls = ReadFile(record);
    EXPECT_EQ(CountOf(calls, "AlreadyRunning"), 1u);
    EXPECT_EQ(CountOf(calls, "|Closed\n"), 2u);
}

}  // namespace

namespace {

TEST(LauncherProcess, TheWindowLibraryBesideTheProgramIsFound) {
    GameRoot root;
    root.WriteConfig();
    std::string record = root.Root() + "/window.txt";
    WriteFile(root.InBank("libLarkLauncherUI.so"), ReadFile(FAKE_WINDOW_LIBRARY));
    ProcessResult result = RunLauncher(root, {"-r"}, {{"LARK_FAKE_UI_RECORD", record}});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_TRUE(Has(ReadFile(record), "|ShowUI|Larkspur.skf|")) << result.standardError;
}

}  // namespace

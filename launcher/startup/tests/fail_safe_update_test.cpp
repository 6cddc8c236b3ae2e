#include "FailSafeUpdate.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <vector>

#include "Crc.h"
#include "OsFile.h"
#include "launcher_test_support.h"

namespace {

using launcher_test::FileCrc;
using launcher_test::GameRoot;
using launcher_test::LoopbackHttpServer;
using launcher_test::ReadFile;
using launcher_test::RunLauncher;
using launcher_test::WaitForText;
using launcher_test::WriteFile;

TEST(LaunchFileCrc, CoversTheWholeFile) {
    launcher_test::TempDirectory dir;
    std::string path = dir.Path() + "/file";
    EXPECT_EQ(LaunchFileCrc(path), 0u);
    WriteFile(path, "123456789");
    EXPECT_EQ(LaunchFileCrc(path), 0x2DFD2D88u);
    std::string big(200000, 'x');
    big[199999] = 'y';
    WriteFile(path, big);
    EXPECT_EQ(LaunchFileCrc(path), CrcUpdate(0, big.data(), big.size()));
}

// The launcher run by these tests has no window library, so start-up that goes on past the check
// ends at its first window call.
class FailSafeRun : public ::testing::Test {
protected:
    // Appends bytes to the launcher copy (trailing bytes do not change what runs) until its CRC
    // has ten decimal digits.
    void GiveLauncherATenDigitCrc() {
        std::string bytes = ReadFile(m_root.Launcher());
        for (char pad = 0; FileCrc(bytes) < 1000000000u; ++pad) bytes.push_back(pad);
        std::ofstream(m_root.Launcher(), std::ios::binary | std::ios::trunc) << bytes;
    }
    std::string InfoPath() const { return "/failsafe/" + std::to_string(LauncherCrc()); }
    uint32_t LauncherCrc() const { return FileCrc(ReadFile(m_root.Launcher())); }
    void ServeInfo(uint32_t crc, const std::string& downloadUrl) {
        m_server.Serve(InfoPath(), "[PatchInfo]\r\nCRC32=" + std::to_string(crc) +
                                       "\r\nDownloadURL=" + downloadUrl + "\r\n");
    }

    GameRoot m_root;
    LoopbackHttpServer m_server;
};

TEST_F(FailSafeRun, AnEmptyAddressMakesNoRequest) {
    m_root.WriteConfig("");
    launcher_test::ProcessResult result = RunLauncher(m_root, {"-r"});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(m_server.RequestCount(), 0);
    EXPECT_NE(result.standardError.find("Initialize: Dll libLarkLauncherUI.so was not found"),
              std::string::npos);
}

TEST_F(FailSafeRun, NoPatchForThisBuildContinuesSilently) {
    // An information file left by an earlier run is removed before the server is asked, so a
    // stale answer is never acted on.
    GiveLauncherATenDigitCrc();
    std::string infoFile = m_root.InBank(std::to_string(LauncherCrc()) + ".patch");
    WriteFile(infoFile, "[PatchInfo]\r\nCRC32=1\r\nDownloadURL=http://127.0.0.1:1/stale.exe\r\n");
    m_root.WriteConfig(m_server.Url("/failsafe/"));
    launcher_test::ProcessResult result = RunLauncher(m_root, {"-r"});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(m_server.RequestCount(), 1);  // the information file, answered with 404
    std::string log = m_root.ReadLog();
    EXPECT_EQ(log.find("HYPatchClient"), std::string::npos) << log;
    EXPECT_FALSE(HY_OS::FileExists(infoFile));
    EXPECT_NE(result.standardError.find("Initialize: Dll"), std::string::npos);
}

// What a player finds beside the launcher after a check that found a patch: the information file
// named by the launcher's whole CRC. Most CRCs have nine or ten digits; the launcher copy is
// given a ten-digit one.
TEST_F(FailSafeRun, TheInformationFileIsNamedByTheWholeCrc) {
    GiveLauncherATenDigitCrc();
    std::string crcText = std::to_string(LauncherCrc());
    ASSERT_EQ(crcText.size(), 10u);
    const std::string info = "[PatchInfo]\r\nCRC32=1234\r\nDownloadURL=" +
                             m_server.Url("/not-there.exe") + "\r\n";
    m_server.Serve("/failsafe/" + crcText, info);
    m_root.WriteConfig(m_server.Url("/failsafe/"));
    launcher_test::ProcessResult result = RunLauncher(m_root, {"-r"});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(ReadFile(m_root.InBank(crcText + ".patch")), info);
    std::vector<std::string> patchFiles;
    for (const auto& entry : std::filesystem::directory_iterator(m_root.Bank())) {
        std::string name = entry.path().filename().string();
        if (name.find(".pat") != std::string::npos) patchFiles.push_back(name);
    }
    EXPECT_EQ(patchFiles, std::vector<std::string>{crcText + ".patch"});
}

TEST_F(FailSafeRun, NoServerAtAllContinuesSilently) {
    std::string deadUrl;
    {
        LoopbackHttpServer gone;
        deadUrl = gone.Url("/failsafe/");
    }
    m_root.WriteConfig(deadUrl);
    launcher_test::ProcessResult result = RunLauncher(m_root, {"-r"});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(m_root.ReadLog().find("HYPatchClient"), std::string::npos);
    EXPECT_NE(result.standardError.find("Initialize: Dll"), std::string::npos);
}

TEST_F(FailSafeRun, AMatchingProgramIsStartedAndTheLauncherExits) {
    const std::string program = "#!/bin/sh\necho fail-safe ran in \"$(pwd)\" > \"$(dirname \"$0\")/ran.txt\"\n";
    m_server.Serve("/FailSafePatch.exe", program);
    ServeInfo(FileCrc(program), m_server.Url("/FailSafePatch.exe"));
    m_root.WriteConfig(m_server.Url("/failsafe/"));

    launcher_test::ProcessResult result = RunLauncher(m_root, {"-r"});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_TRUE(WaitForText(m_root.InBank("ran.txt"), "fail-safe ran"));
    std::string log = m_root.ReadLog();
    EXPECT_NE(log.find("[STAT] HYPatchClient   PatchClientUI.cpp"), std::string::npos) << log;
    EXPECT_NE(log.find("Patch found, downloading fail safe patch: CRC = " +
                       std::to_string(FileCrc(program)) + ", URL = " +
                       m_server.Url("/FailSafePatch.exe") + "\n"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("CRC check success, running downloaded patch file.\n"), std::string::npos);
    EXPECT_NE(log.find("Downloaded and starting fail safe patching, exiting...\n"),
              std::string::npos);
    // The launcher left before its window.
    EXPECT_EQ(result.standardError.find("Initialize"), std::string::npos);
    EXPECT_EQ(ReadFile(m_root.InBank("FailSafePatch.exe")), program);
}

TEST_F(FailSafeRun, AMismatchingProgramIsNotStarted) {
    const std::string program = "#!/bin/sh\ntouch \"$(dirname \"$0\")/ran.txt\"\n";
    m_server.Serve("/FailSafePatch.exe", program);
    ServeInfo(FileCrc(program) ^ 1u, m_server.Url("/FailSafePatch.exe"));
    m_root.WriteConfig(m_server.Url("/failsafe/"));

    launcher_test::ProcessResult result = RunLauncher(m_root, {"-r"});
    EXPECT_EQ(result.exitCode, 1);
    std::string log = m_root.ReadLog();
    char expected[128];
    std::snprintf(expected, sizeof expected,
                  "CRC check failed for file download, expected %u, found %u\n",
                  FileCrc(program) ^ 1u, FileCrc(program));
    EXPECT_NE(log.find(std::string("[ERRO] HYPatchClient")), std::string::npos) << log;
    EXPECT_NE(log.find(expected), std::string::npos) << log;
    EXPECT_EQ(log.find("CRC check success"), std::string::npos);
    EXPECT_NE(result.standardError.find("Initialize: Dll"), std::string::npos);  // went on
    EXPECT_FALSE(HY_OS::FileExists(m_root.InBank("ran.txt")));
}

TEST_F(FailSafeRun, AProgramThatCannotBeFetchedIsLogged) {
    ServeInfo(1234, m_server.Url("/not-there.exe"));
    m_root.WriteConfig(m_server.Url("/failsafe/"));
    launcher_test::ProcessResult result = RunLauncher(m_root, {"-r"});
    EXPECT_EQ(result.exitCode, 1);
    std::string log = m_root.ReadLog();
    EXPECT_NE(log.find("Failed to download fail safe patch from " + m_server.Url("/not-there.exe") +
                       "\n"),
              std::string::npos)
        << log;
    EXPECT_NE(result.standardError.find("Initialize: Dll"), std::string::npos);

    // Binary garbage as the information file: no CRC, no address; nothing is fetched or run.
    std::string garbage;
    for (int i = 0; i < 5000; ++i) garbage.push_back(static_cast<char>(i * 37));
    m_server.Serve(InfoPath(), garbage);
    result = RunLauncher(m_root, {"-r"});
    EXPECT_EQ(result.exitCode, 1);
    log = m_root.ReadLog();
    EXPECT_NE(log.find("Patch found, downloading fail safe patch: CRC = 0, URL = \n"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("Failed to download fail safe patch from \n"), std::string::npos);
}

// An information file holds two short values; a huge answer is not one and is not stored (the
// naming test above shows that an answer of normal size is stored under this name).
TEST_F(FailSafeRun, AnOversizedInformationFileCountsAsNone) {
    GiveLauncherATenDigitCrc();
    m_server.Serve(InfoPath(), "[PatchInfo]\nCRC32=1\nDownloadURL=" + std::string(200000, 'u') + "\n");
    m_root.WriteConfig(m_server.Url("/failsafe/"));
    launcher_test::ProcessResult result = RunLauncher(m_root, {"-r"});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(m_root.ReadLog().find("HYPatchClient"), std::string::npos);
    EXPECT_FALSE(HY_OS::FileExists(m_root.InBank(std::to_string(LauncherCrc()) + ".patch")));
}

}  // namespace

#include "PatchClientConfig.h"

#include <gtest/gtest.h>

#include "LauncherLog.h"
#include "launcher_test_support.h"

namespace {

using launcher_test::ReadFile;
using launcher_test::TempDirectory;
using launcher_test::WriteFile;

// Every setting of a complete file, each on its own line so that a test can drop or change one.
const char* const kCompleteFile = R"(<?xml version="1.0"?>
<root>
<PatchClientDataDir path="data/"/>
<PatchServerHostname host="patch.example"/>
<PatchServerPort port="12500"/>
<LoginHostname host="login.example"/>
<LoginPort port="12000"/>
<GameClientExecutable file="Game.exe"/>
<CommandLine args="-fast"/>
<LocalNewsURL path="local"/>
<NewsURL path="news"/>
<HomeURL path="home"/>
<RegistrationURL path="register"/>
<MyAccountURL path="account"/>
<PatchErrorURL path="error"/>
<FallBackURL path="fallback"/>
<SilentMetricsURL path="metrics"/>
<GameOptions path="options"/>
<Skin file="skin.skf"/>
<AppStartRegistryKey key="AppStart"/>
<GameSpecificRegistry registry="Software\Lark"/>
<PatchClientIDRegKey key="PCID"/>
<PatchClientIDRegistry registry="Software\PCID"/>
<PatchInfoDirectory name="Info"/>
<EulaURL path="eula"/>
<ServerListURL path="servers"/>
<FailSafeURL path="failsafe/"/>
</root>
)";

std::string Without(const std::string& element) {
    std::string text = kCompleteFile;
    size_t at = text.find("<" + element + " ");
    size_t end = text.find('\n', at);
    return text.erase(at, end - at + 1);
}

std::string Replacing(const std::string& element, const std::string& line) {
    std::string text = kCompleteFile;
    size_t at = text.find("<" + element + " ");
    size_t end = text.find('\n', at);
    return text.replace(at, end - at, line);
}

// Loads `content` from a file while the launcher's log runs into a file of the test's own.
class ConfigLoad {
public:
    explicit ConfigLoad(const std::string& content, bool writeFile = true) {
        m_file = m_dir.Path() + "/PatchConfig.xml";
        if (writeFile) WriteFile(m_file, content);
        HYLog::StartLauncherLog(m_dir.Path() + "/config.log");
        m_result = m_config.LoadFile(m_file);
        HYLog::StopLogging();
        m_log = ReadFile(m_dir.Path() + "/config.log");
    }
    bool Result() const { return m_result; }
    const PatchClientConfig& Config() const { return m_config; }
    const std::string& Log() const { return m_log; }
    const std::string& FileName() const { return m_file; }
    bool Logged(const std::string& text) const { return m_log.find(text) != std::string::npos; }

private:
    TempDirectory m_dir;
    std::string m_file;
    PatchClientConfig m_config;
    bool m_result = false;
    std::string m_log;
};

TEST(PatchClientConfig, DefaultsAndTheProcessWidePointer) {
    EXPECT_EQ(PatchClientConfig::Get(), nullptr);
    {
        PatchClientConfig config;
        EXPECT_EQ(PatchClientConfig::Get(), &config);
        EXPECT_EQ(config.PatchClientDataDir, "./");
        EXPECT_EQ(config.PatchInfoDirectory, "PatchInfo");
        EXPECT_EQ(config.PatchServerPort, 0);
        EXPECT_EQ(config.Skin, "");
    }
    EXPECT_EQ(PatchClientConfig::Get(), nullptr);
}

TEST(PatchClientConfig, ReadsEveryKeyOfACompleteFile) {
    ConfigLoad load(kCompleteFile);
    ASSERT_TRUE(load.Result()) << load.Log();
    const PatchClientConfig& c = load.Config();
    EXPECT_EQ(c.PatchClientDataDir, "data/");
    EXPECT_EQ(c.PatchServerHostname, "patch.example");
    EXPECT_EQ(c.PatchServerPort, 12500);
    EXPECT_EQ(c.LoginHostname, "login.example");
    EXPECT_EQ(c.LoginPort, 12000);
    EXPECT_EQ(c.GameClientExecutable, "Game.exe");
    EXPECT_EQ(c.CommandLine, "-fast");
    EXPECT_EQ(c.LocalNewsURL, "local");
    EXPECT_EQ(c.NewsURL, "news");
    EXPECT_EQ(c.HomeURL, "home");
    EXPECT_EQ(c.RegistrationURL, "register");
    EXPECT_EQ(c.MyAccountURL, "account");
    EXPECT_EQ(c.PatchErrorURL, "error");
    EXPECT_EQ(c.FallBackURL, "fallback");
    EXPECT_EQ(c.SilentMetricsURL, "metrics");
    EXPECT_EQ(c.GameOptions, "options");
    EXPECT_EQ(c.Skin, "skin.skf");
    EXPECT_EQ(c.AppStartRegistryKey, "AppStart");
    EXPECT_EQ(c.GameSpecificRegistry, "Software\\Lark");
    EXPECT_EQ(c.PatchClientIDRegKey, "PCID");
    EXPECT_EQ(c.PatchClientIDRegistry, "Software\\PCID");
    EXPECT_EQ(c.PatchInfoDirectory, "Info");
    EXPECT_EQ(c.EulaURL, "eula");
    EXPECT_EQ(c.ServerListURL, "servers");
    EXPECT_EQ(c.FailSafeURL, "failsafe/");
    EXPECT_FALSE(load.Logged("CORE_PATCH_CLNT")) << load.Log();  // nothing to complain about
}

TEST(PatchClientConfig, UnreadableFilesAndAWrongRoot) {
    {
        ConfigLoad load("", false);
        EXPECT_FALSE(load.Result());
        EXPECT_TRUE(load.Logged("[ERRO] CORE_PATCH_CLNT"));
        EXPECT_TRUE(load.Logged("Error loading config file: " + load.FileName() + ".\n"));
    }
    for (const std::string& content :
         {std::string("<root><Skin file=\"a\"/>"), std::string("\x7f\x45LF\0\x01\x02\xff", 8),
          std::string(""), std::string("<root")}) {
        ConfigLoad load(content);
        EXPECT_FALSE(load.Result());
        EXPECT_TRUE(load.Logged("Error loading config file: ")) << load.Log();
    }
    {
        // A directory where the file should be.
        TempDirectory dir;
        PatchClientConfig config;
        EXPECT_FALSE(config.LoadFile(dir.Path()));
    }
    ConfigLoad wrongRoot("<settings><LoginPort port=\"1\"/></settings>");
    EXPECT_FALSE(wrongRoot.Result());
    EXPECT_TRUE(wrongRoot.Logged("Error reading config file's Root element.\n"));
}

TEST(PatchClientConfig, OptionalKeysKeepTheirDefaults) {
    ConfigLoad load(Without("PatchClientDataDir"));
    EXPECT_TRUE(load.Result());
    EXPECT_EQ(load.Config().PatchClientDataDir, "./");
    EXPECT_TRUE(load.Logged(
        "[WARN] CORE_PATCH_CLNT ")) << load.Log();
    EXPECT_TRUE(load.Logged(
        "Unable to read optional parameter PatchClientDataDir from the config file.\n"));

    // An element without the expected attribute counts as missing.
    ConfigLoad wrongAttribute(Replacing("NewsURL", "<NewsURL url=\"news\"/>"));
    EXPECT_TRUE(wrongAttribute.Result());
    EXPECT_EQ(wrongAttribute.Config().NewsURL, "");
    EXPECT_TRUE(wrongAttribute.Logged(
        "Unable to read optional parameter NewsURL from the config file.\n"));

    // Only the first element of a name is read; an empty value is a value.
    ConfigLoad repeated(Replacing("HomeURL", "<HomeURL path=\"\">text</HomeURL><HomeURL path=\"2\"/>"));
    EXPECT_TRUE(repeated.Result());
    EXPECT_EQ(repeated.Config().HomeURL, "");
    EXPECT_FALSE(repeated.Logged("HomeURL"));
}

TEST(PatchClientConfig, AMissingMandatoryKeyStopsReading) {
    ConfigLoad load(Without("LoginHostname"));
    EXPECT_FALSE(load.Result());
    EXPECT_TRUE(load.Logged("[ERRO] CORE_PATCH_CLNT"));
    EXPECT_TRUE(load.Logged(
        "Unable to read mandatory parameter LoginHostname from the config file.\n"));
    EXPECT_EQ(load.Config().PatchServerHostname, "patch.example");  // read before it
    EXPECT_EQ(load.Config().GameClientExecutable, "");               // not read
    EXPECT_EQ(load.Config().PatchInfoDirectory, "PatchInfo");
    EXPECT_EQ(load.Config().PatchServerPort, 0);

    for (const char* key : {"PatchServerHostname", "GameClientExecutable", "Skin",
                            "AppStartRegistryKey", "PatchServerPort", "LoginPort"}) {
        ConfigLoad missing(Without(key));
        EXPECT_FALSE(missing.Result()) << key;
        EXPECT_TRUE(missing.Logged(std::string("Unable to read mandatory parameter ") + key +
                                   " from the config file.\n"))
            << missing.Log();
    }
    ConfigLoad portWithoutAttribute(Replacing("LoginPort", "<LoginPort value=\"1\"/>"));
    EXPECT_FALSE(portWithoutAttribute.Result());
    EXPECT_EQ(portWithoutAttribute.Config().PatchServerPort, 12500);
}

TEST(PatchClientConfig, PortsTakeLeadingDigitsAndWrapAt16Bits) {
    ConfigLoad load(Replacing("LoginPort", "<LoginPort port=\"abc\"/>"));
    EXPECT_TRUE(load.Result());
    EXPECT_EQ(load.Config().LoginPort, 0);

    EXPECT_EQ(PortFromText("12000"), 12000);
    EXPECT_EQ(PortFromText(" 443xyz"), 443);
    EXPECT_EQ(PortFromText("65536"), 0);
    EXPECT_EQ(PortFromText("70000"), 70000 - 65536);
    EXPECT_EQ(PortFromText("-1"), 65535);
    EXPECT_EQ(PortFromText("99999999999999999999999"), 65535);  // beyond any integer: the largest int
    EXPECT_EQ(PortFromText(""), 0);
}

}  // namespace

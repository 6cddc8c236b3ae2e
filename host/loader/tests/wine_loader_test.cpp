#include "WineLoader.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <thread>

#include "LoaderTestClient.h"
#include "LogCapture.h"
#include "TempDir.h"

namespace larkhost {
namespace {

using test::ClientRequest;
using test::SendRequest;

// Records what the loader hands over instead of starting Wine.
struct HandOverRecord {
    std::mutex lock;
    std::condition_variable changed;
    int calls = 0;
    WineLaunch launch;
    WineMainFunction entry = nullptr;
    std::vector<std::string> architectures;
};

class WineLoaderTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::filesystem::create_directories(root.Path("lib/wine/x86_64-unix"));
        std::filesystem::create_symlink(FAKE_WINE_CORE, root.Path("lib/wine/x86_64-unix/ntdll.so"));
    }

    std::shared_ptr<WineLoader> MakeLoader(std::string release = "6.1.0-13-amd64",
                                           std::string porticoRoot = "") {
        WineLoaderOptions options;
        options.porticoRoot = porticoRoot.empty() ? root.Path() : porticoRoot;
        options.kernelRelease = [release] { return release; };
        options.receiveTimeoutMs = 300;
        options.wrongArchitecture = [this](const std::string& arch) {
            std::lock_guard<std::mutex> hold(record.lock);
            record.architectures.push_back(arch);
        };
        options.handOver = [this](WineLaunch&& launch, WineMainFunction entry) {
            std::lock_guard<std::mutex> hold(record.lock);
            ++record.calls;
            record.launch = std::move(launch);
            record.entry = entry;
            record.changed.notify_all();
        };
        return WineLoader::Create(std::move(options));
    }

    // Waits until the loader has finished with every connection it took.
    static void Settle(WineLoader& loader) {
        for (int i = 0; i < 2000 && loader.ActiveConnections() > 0; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        ASSERT_EQ(loader.ActiveConnections(), 0);
    }

    hytest::TempDir root;
    HandOverRecord record;
};

bool Contains(const std::vector<std::string>& v, const std::string& s) {
    return std::find(v.begin(), v.end(), s) != v.end();
}

TEST_F(WineLoaderTest, FirstRequestIsAnsweredHandedOverAndClosesTheSocket) {
    auto loader = MakeLoader();
    ASSERT_TRUE(loader);
    std::string path = loader->SocketPath();
    ASSERT_FALSE(path.empty());
    EXPECT_LE(path.size(), 103u);
    EXPECT_TRUE(std::filesystem::exists(path));

    auto result = SendRequest(path, ClientRequest{});
    EXPECT_EQ(result.response, kLoaderResponse);
    Settle(*loader);

    std::lock_guard<std::mutex> hold(record.lock);
    ASSERT_EQ(record.calls, 1);
    EXPECT_NE(record.entry, nullptr);
    const WineLaunch& launch = record.launch;
    EXPECT_EQ(launch.workingDirectory, std::optional<std::string>("/tmp"));
    // Empty first argument and no WINELOADER: the installation's loader is used.
    ASSERT_EQ(launch.arguments.size(), 2u);
    EXPECT_EQ(launch.arguments[0], root.Path() + "/bin/wineloader64");
    EXPECT_EQ(launch.arguments[1], "C:\\prog.exe");
    EXPECT_TRUE(Contains(launch.environment, "A=1"));
    EXPECT_TRUE(Contains(launch.environment, "B=2"));
    EXPECT_TRUE(Contains(launch.environment, "WINELOADERNOEXEC=1"));
    EXPECT_TRUE(
        Contains(launch.environment, "WINESERVERSOCKET=" + std::to_string(launch.descriptors[3])));
    EXPECT_EQ(launch.descriptors.Count(), 4u);
    for (const auto& e : launch.environment) EXPECT_NE(e.rfind("WINE_WAIT_CHILD_PIPE", 0), 0u) << e;

    // Only the first request is served: the socket is gone.
    EXPECT_TRUE(loader->SocketPath().empty());
    EXPECT_FALSE(std::filesystem::exists(path));
    EXPECT_FALSE(SendRequest(path, ClientRequest{}).connected);
}

TEST_F(WineLoaderTest, FiveDescriptorsSetTheWaitPipeAndLoaderVariablesAreFiltered) {
    auto loader = MakeLoader();
    ASSERT_TRUE(loader);
    ClientRequest request;
    request.descriptorCount = 5;
    request.workingDirectory.clear();  // none
    request.environment = test::NulStrings(
        {"WINELOADER=/opt/w/lib/wine/wine64", "PT_ALT_LOADER_SOCKET=/tmp/x",
         "PT_ALT_LOADER_SOCKETS=1", "WINE_WAIT_CHILD_PIPE=9", "WINESERVERSOCKET=3", "KEEP=yes"});
    request.arguments = test::NulStrings({"", "start.exe", "/unix"});
    EXPECT_EQ(SendRequest(loader->SocketPath(), request).response, kLoaderResponse);
    Settle(*loader);

    std::lock_guard<std::mutex> hold(record.lock);
    ASSERT_EQ(record.calls, 1);
    const WineLaunch& launch = record.launch;
    EXPECT_FALSE(launch.workingDirectory.has_value());
    EXPECT_EQ(launch.arguments,
              (std::vector<std::string>{"/opt/w/lib/wine/wine64", "start.exe", "/unix"}));
    EXPECT_EQ(launch.descriptors.Count(), 5u);
    EXPECT_TRUE(Contains(launch.environment, "KEEP=yes"));
    EXPECT_TRUE(Contains(launch.environment,
                         "WINE_WAIT_CHILD_PIPE=" + std::to_string(launch.descriptors[4])));
    EXPECT_TRUE(
        Contains(launch.environment, "WINESERVERSOCKET=" + std::to_string(launch.descriptors[3])));
    EXPECT_FALSE(Contains(launch.environment, "WINE_WAIT_CHILD_PIPE=9"));
    EXPECT_FALSE(Contains(launch.environment, "WINESERVERSOCKET=3"));
    for (const auto& e : launch.environment) EXPECT_NE(e.rfind("PT_ALT_LOADER_SOCKET", 0), 0u) << e;
}

struct BadRequest {
    const char* name;
    ClientRequest request;
    const char* logPrefix;
};

std::vector<BadRequest> BadRequests() {
    std::vector<BadRequest> cases;
    auto add = [&](const char* name, auto change, const char* log) {
        ClientRequest r;
        change(r);
        cases.push_back({name, r, log});
    };
    const std::string m = "WineLoaderClientConnection::HandleConnection: ";
    static std::vector<std::string> keep;
    auto msg = [&](const char* text) {
        keep.push_back(m + text);
        return keep.back().c_str();
    };
    add(
        "unknown type", [](ClientRequest& r) { r.type = 0x12345678; },
        msg("unknown request type 0x12345678"));
    add(
        "type only", [](ClientRequest& r) { r.stopAfterType = true; },
        msg("reading length failed"));
    add(
        "two working directories",
        [](ClientRequest& r) { r.workingDirectory = std::string("/a\0/b\0", 6); },
        msg("working directory is not a single null-terminated string"));
    add(
        "unterminated working directory", [](ClientRequest& r) { r.workingDirectory = "/tmp"; },
        msg("working directory is not a single null-terminated string"));
    add(
        "unterminated environment",
        [](ClientRequest& r) { r.environment = std::string("A=1\0B=2", 7); },
        msg("environment is not null-terminated"));
    add(
        "empty arguments", [](ClientRequest& r) { r.arguments.clear(); },
        msg("args list is empty"));
    add(
        "unterminated arguments", [](ClientRequest& r) { r.arguments = "prog"; },
        msg("args is not null-terminated"));
    add(
        "three descriptors", [](ClientRequest& r) { r.descriptorCount = 3; },
        msg("failed to receive file descriptors"));
    add(
        "six descriptors", [](ClientRequest& r) { r.descriptorCount = 6; },
        msg("failed to receive file descriptors"));
    add(
        "no descriptors", [](ClientRequest& r) { r.descriptorCount = 0; },
        msg("failed to receive file descriptors"));
    add(
        "end before descriptors", [](ClientRequest& r) { r.sendDescriptors = false; },
        msg("failed to receive file descriptors"));
    add(
        "data instead of end", [](ClientRequest& r) { r.trailing = "more"; },
        msg("got extraneous data instead of EOF"));
    add(
        "no end of stream", [](ClientRequest& r) { r.endOfStream = false; },
        msg("failed to read EOF; errno"));
    return cases;
}

TEST_F(WineLoaderTest, MalformedRequestsGetNoResponseLeakNothingAndLeaveTheLoaderListening) {
    auto loader = MakeLoader();
    ASSERT_TRUE(loader);
    std::string path = loader->SocketPath();
    int before = test::CountOpenDescriptors();
    for (const auto& bad : BadRequests()) {
        SCOPED_TRACE(bad.name);
        hytest::ScopedLogCapture log;
        auto result = SendRequest(path, bad.request);
        EXPECT_TRUE(result.connected);
        EXPECT_EQ(result.response, -1);
        Settle(*loader);
        EXPECT_GE(log->CountPrefix(bad.logPrefix), 1) << bad.logPrefix;
        EXPECT_EQ(test::CountOpenDescriptors(), before);
        EXPECT_EQ(loader->SocketPath(), path);
    }
    std::lock_guard<std::mutex> hold(record.lock);
    EXPECT_EQ(record.calls, 0);
}

TEST_F(WineLoaderTest, AfterMalformedRequestsAWellFormedOneIsStillServed) {
    auto loader = MakeLoader();
    ASSERT_TRUE(loader);
    ClientRequest bad;
    bad.descriptorCount = 6;
    EXPECT_EQ(SendRequest(loader->SocketPath(), bad).response, -1);
    EXPECT_EQ(SendRequest(loader->SocketPath(), ClientRequest{}).response, kLoaderResponse);
    Settle(*loader);
    std::lock_guard<std::mutex> hold(record.lock);
    EXPECT_EQ(record.calls, 1);
}

TEST_F(WineLoaderTest, I386RequestsDependOnTheKernelRelease) {
    {
        auto loader = MakeLoader("18.7.0");
        ASSERT_TRUE(loader);
        ClientRequest request;
        request.type = kLoaderRequestI386;
        EXPECT_EQ(SendRequest(loader->SocketPath(), request).response, -1);
        Settle(*loader);
        std::lock_guard<std::mutex> hold(record.lock);
        EXPECT_EQ(record.architectures, std::vector<std::string>{"i386"});
        EXPECT_EQ(record.calls, 0);
        EXPECT_FALSE(loader->SocketPath().empty());
    }
    {
        auto loader = MakeLoader("19.6.0");
        ASSERT_TRUE(loader);
        ClientRequest request;
        request.type = kLoaderRequestI386;
        EXPECT_EQ(SendRequest(loader->SocketPath(), request).response, kLoaderResponse);
        Settle(*loader);
        std::lock_guard<std::mutex> hold(record.lock);
        EXPECT_EQ(record.architectures.size(), 1u);  // no second rejection
        EXPECT_EQ(record.calls, 1);
    }
}

TEST(WineLoaderRelease, OnlyAReadableReleaseOfNineteenOrMoreAllowsI386) {
    EXPECT_TRUE(ReleaseAllowsI386("19.0.0"));
    EXPECT_TRUE(ReleaseAllowsI386("23.1.0"));
    EXPECT_FALSE(ReleaseAllowsI386("18.7.0"));
    EXPECT_FALSE(ReleaseAllowsI386("6.1.0-13-amd64"));  // every Linux release
    EXPECT_FALSE(ReleaseAllowsI386("19"));              // one number only
    EXPECT_FALSE(ReleaseAllowsI386(""));
    EXPECT_FALSE(ReleaseAllowsI386("abc"));
}

TEST_F(WineLoaderTest, MissingCoreLibraryRefusesTheRequestAndKeepsListening) {
    hytest::TempDir empty;
    auto loader = MakeLoader("6.1.0", empty.Path());
    ASSERT_TRUE(loader);
    hytest::ScopedLogCapture log;
    EXPECT_EQ(SendRequest(loader->SocketPath(), ClientRequest{}).response, -1);
    Settle(*loader);
    EXPECT_EQ(log->CountPrefix("Failed to load " + empty.Path() + "/lib/wine/x86_64-unix/ntdll.so"),
              1);
    EXPECT_FALSE(loader->SocketPath().empty());
}

TEST_F(WineLoaderTest, SocketPathLongerThan103BytesLeavesNoLoader) {
    std::string deep = root.Path(std::string(100, 'd'));
    std::filesystem::create_directories(deep);
    WineLoaderOptions options;
    options.porticoRoot = root.Path();
    options.tempDirectory = deep;
    EXPECT_EQ(WineLoader::Create(options), nullptr);
    // The same options with a short folder do make one.
    options.tempDirectory = root.Path();
    EXPECT_NE(WineLoader::Create(options), nullptr);
}

TEST_F(WineLoaderTest, ALoaderThatNeverGetsARequestRemovesItsSocketFile) {
    std::string path;
    {
        auto loader = MakeLoader();
        ASSERT_TRUE(loader);
        path = loader->SocketPath();
        EXPECT_TRUE(std::filesystem::exists(path));
    }
    EXPECT_FALSE(std::filesystem::exists(path));
}

}  // namespace
}  // namespace larkhost

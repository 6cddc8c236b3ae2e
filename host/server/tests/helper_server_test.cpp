#include "HelperServer.h"

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <cstring>
#include <future>

#include "HostSetup.h"
#include "HostTestSupport.h"
#include "LogCapture.h"
#include "TempDir.h"

namespace larkhost {
namespace {

class TwoBottles : public BottleCollection {
  public:
    std::vector<BottleInfo> Bottles() override {
        return {{"Ready", "Ready", true, true}, {"New", "New", false, false}};
    }
    std::string DefaultBottle() override { return "Ready"; }
    bool QuitStep(const std::string&, const std::string&, bool) override { return true; }
    void ForceQuit(const std::string&) override {}
};

// Sends one request line from another thread while the main loop runs; answers the reply.
std::string Ask(const std::string& path, const std::string& request) {
    auto reply = std::async(std::launch::async, [&] {
        int fd = socket(AF_UNIX, SOCK_STREAM, 0);
        struct sockaddr_un address {};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, path.c_str(), sizeof(address.sun_path) - 1);
        std::string answer;
        if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0) {
            std::string line = request + "\n";
            (void)!write(fd, line.data(), line.size());
            char buffer[512];
            ssize_t n;
            while ((n = read(fd, buffer, sizeof(buffer))) > 0)
                answer.append(buffer, static_cast<size_t>(n));
        }
        close(fd);
        return answer;
    });
    test::PumpUntil(
        [&] { return reply.wait_for(std::chrono::seconds(0)) == std::future_status::ready; });
    return reply.get();
}

TEST(HelperServer, AnswersReadinessPerBottleAndTheTaskEnvironment) {
    hytest::TempDir dir;
    TwoBottles bottles;
    bool ready = false;
    std::vector<std::string> raised;
    HelperServerHooks hooks;
    hooks.ready = [&] { return ready; };
    hooks.bottles = &bottles;
    hooks.raise = [&](const std::string& tag) { raised.push_back(tag); };
    hooks.environment = [] { return std::vector<std::string>{"PT_ROOT=/r", "A=1"}; };
    auto server = HelperServer::Start(hooks, dir.Path());
    ASSERT_TRUE(server);
    EXPECT_EQ(server->Path(), dir.Path("com.tessaline.larkspur.HelperServer"));

    EXPECT_EQ(Ask(server->Path(), "ready"), "no\n");
    EXPECT_EQ(Ask(server->Path(), "ready Ready"), "no\n");  // not before start-up
    ready = true;
    EXPECT_EQ(Ask(server->Path(), "ready"), "yes\n");
    EXPECT_EQ(Ask(server->Path(), "ready Ready"), "yes\n");
    EXPECT_EQ(Ask(server->Path(), "ready New"), "no\n");  // cannot run commands yet
    EXPECT_EQ(Ask(server->Path(), "ready Missing"), "no\n");
    EXPECT_EQ(Ask(server->Path(), "raise games"), "ok\n");
    EXPECT_EQ(raised, std::vector<std::string>{"games"});
    EXPECT_EQ(Ask(server->Path(), "environment"), std::string("PT_ROOT=/r\0A=1\0\n", 16));
    EXPECT_EQ(Ask(server->Path(), "rm -rf /"), "error\n");
}

TEST(HelperServer, ForwardedUrlsAndDocumentsArriveIntact) {
    hytest::TempDir dir;
    std::vector<ForwardedItem> got;
    HelperServerHooks hooks;
    hooks.open = [&](bool document, const std::string& bottle, const std::string& text) {
        got.push_back({document, bottle, text});
    };
    auto server = HelperServer::Start(hooks, dir.Path());
    ASSERT_TRUE(server);
    const ForwardedItem url{false, "", "larkspur://x?q='a'\tb\nc\\d \xc3\xa9"};
    const ForwardedItem doc{true, "My\tBottle", "/tmp/it's a \"file\".txt"};
    EXPECT_EQ(Ask(server->Path(), ForwardRequest(url)), "ok\n");
    EXPECT_EQ(Ask(server->Path(), ForwardRequest(doc)), "ok\n");
    EXPECT_EQ(Ask(server->Path(), "open-url\tno text"), "error\n");
    EXPECT_EQ(Ask(server->Path(), ForwardRequest({true, "", "relative/file.txt"})), "error\n");
    ASSERT_EQ(got.size(), 2u);
    EXPECT_FALSE(got[0].document);
    EXPECT_EQ(got[0].text, url.text);
    EXPECT_TRUE(got[1].document);
    EXPECT_EQ(got[1].bottle, doc.bottle);
    EXPECT_EQ(got[1].text, doc.text);
    // No host listening: the caller starts one itself.
    EXPECT_EQ(ForwardToRunningHost({url}, dir.Path("nowhere")), 0u);
}

TEST(HelperServer, AFolderItCannotUseIsLoggedAndTheHostGoesOn) {
    hytest::ScopedLogCapture log;
    HelperServerHooks hooks;
    EXPECT_EQ(HelperServer::Start(hooks, "/nonexistent/folder"), nullptr);
    EXPECT_EQ(log->Count("Failed to register our helper server.  What do we do now?\n"), 1);
}

}  // namespace
}  // namespace larkhost

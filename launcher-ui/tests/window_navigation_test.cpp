// Web pages in the launcher window against a loopback server: failures walk the fallback chain,
// "patcher:" links fill the login fields, new windows go to the system's browser, and addresses
// the window must not show are refused.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>

#include "DialogTemplate.h"
#include "TempDir.h"
#include "test_server.h"
#include "window_host.h"

namespace uitest {

using namespace LarkUi;

class NavigationTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!WindowHost::HaveDisplay()) {
            GTEST_SKIP() << "no display could be opened: the window tests need one (xvfb-run)";
        }
        host = &WindowHost::Get();
        host->ClearRecords();
        host->handled.clear();
        host->onCommand = nullptr;
        host->openSucceeds = true;
        setenv("XDG_CONFIG_HOME", config.Path().c_str(), 1);
        ASSERT_NE(::getcwd(previous, sizeof previous), nullptr);
        ASSERT_EQ(::chdir(work.Path().c_str()), 0);
        ::mkdir("web", 0755);
        ::mkdir("web/English", 0755);
        std::ofstream("web/English/error.html")
            << "<html><body style=\"background:#c33\">error</body></html>";
        std::ofstream("secret.html") << "<html><body>secret</body></html>";
    }
    void TearDown() override {
        if (host) host->onCommand = nullptr;
        if (previous[0]) {
            ASSERT_EQ(::chdir(previous), 0);
        }
    }
    std::vector<std::string> Browses() const {
        std::vector<std::string> out;
        for (const auto& c : host->commands)
            if (c.rfind("Browse", 0) == 0) out.push_back(c);
        return out;
    }
    std::string Shown() const {
        GtkWidget* view = Control(IDC_BROWSER);
        const char* uri = view ? webkit_uri_for(view) : nullptr;
        return uri ? uri : "";
    }
    static const char* webkit_uri_for(GtkWidget* view);

    WindowHost* host = nullptr;
    hytest::TempDir config;
    hytest::TempDir work;
    char previous[4096] = {};
    TestServer server;
};

}  // namespace uitest

#include <webkit2/webkit2.h>

namespace uitest {

const char* NavigationTest::webkit_uri_for(GtkWidget* view) {
    return webkit_web_view_get_uri(WEBKIT_WEB_VIEW(view));
}

TEST_F(NavigationTest, FailingPagesWalkTheFallbackChainInOrder) {
    // An address where nothing listens.
    int probe = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ASSERT_EQ(::bind(probe, reinterpret_cast<sockaddr*>(&address), length), 0);
    ASSERT_EQ(::getsockname(probe, reinterpret_cast<sockaddr*>(&address), &length), 0);
    ::close(probe);
    std::string closedPort = "http://127.0.0.1:" + std::to_string(ntohs(address.sin_port));
    // The launcher in its ready state: every fallback page it asks for fails too, the firewall
    // page included.
    host->onCommand = [&](const std::string& command) {
        if (command == "BrowseFallBack") host->GotoPage(server.Url("/missing?fallback"), true);
        if (command == "BrowseStaticError") host->GotoPage(closedPort + "/error.html", true);
        if (command == "BrowseFirewall") host->GotoPage(server.Url("/missing/firewall.html"), true);
    };
    host->RunWindow("", [&] {
        host->GotoPage(server.Url("/missing"), false);
        EXPECT_TRUE(PumpUntil([&] { return server.Hits("/missing/firewall.html") > 0; }));
        PumpFor(500);
        EXPECT_EQ(Browses(), (std::vector<std::string>{"BrowseFallBack", "BrowseStaticError",
                                                       "BrowseFirewall"}))
            << ::testing::PrintToString(host->commands);
        EXPECT_TRUE(host->Received("Log|Status|The navigation to web page " +
                                   server.Url("/missing") + " has failed with code 404."));
        EXPECT_FALSE(Visible(IDC_BROWSER)) << "no page has loaded: the label stays";

        // A page that loads afterwards is shown.
        host->onCommand = nullptr;
        host->GotoPage(server.Url("/news"), true);
        EXPECT_TRUE(PumpUntil([] { return Visible(IDC_BROWSER); }));
    });
}

TEST_F(NavigationTest, WithAnEulaTheStaticPageComesSecond) {
    host->handled["BrowseStaticError"] = false;
    host->RunWindow(server.Url("/missing"), [&] {
        EXPECT_TRUE(PumpUntil([&] { return !Browses().empty(); }));
        host->GotoPage("web/English/nothing-here.html", true);  // fails: refused, no such file
        EXPECT_TRUE(PumpUntil([&] { return Browses().size() >= 2; }));
        EXPECT_EQ(Browses(), (std::vector<std::string>{"BrowseFallBack", "BrowseStatic"}));
    });
}

TEST_F(NavigationTest, APatcherLinkFillsTheFieldsAndLoadsNothing) {
    host->RunWindow("", [&] {
        host->GotoPage(server.Url("/patcher"), false);
        ASSERT_TRUE(PumpUntil([] { return Visible(IDC_BROWSER); }));
        ClickWidget(Control(IDC_BROWSER), 40, 40);
        EXPECT_TRUE(PumpUntil([] { return EntryText(IDC_USERNAME) == "alice"; }));
        EXPECT_EQ(EntryText(IDC_PASSWORD), "s3cret");
        PumpFor(300);
        EXPECT_EQ(Shown(), server.Url("/patcher")) << "the link is never followed";
        EXPECT_TRUE(
            host->Received("Log|Status|New web page is being loaded into browser control: "
                           "patcher:LoginComplete@alice,s3cret."));
    });
}

TEST_F(NavigationTest, ANewWindowGoesToTheSystemBrowserNeverIntoTheLauncher) {
    host->RunWindow("", [&] {
        host->GotoPage(server.Url("/popup"), false);
        ASSERT_TRUE(PumpUntil([] { return Visible(IDC_BROWSER); }));
        ClickWidget(Control(IDC_BROWSER), 40, 40);
        EXPECT_TRUE(PumpUntil([&] { return !host->opened.empty(); }));
        EXPECT_EQ(host->opened, std::vector<std::string>{server.Url("/elsewhere")});
        PumpFor(500);
        EXPECT_EQ(Shown(), server.Url("/popup"));
        EXPECT_EQ(server.Hits("/elsewhere"), 0);

        // When the system browser cannot be started, the page opens in a window of its own.
        host->openSucceeds = false;
        ClickWidget(Control(IDC_BROWSER), 40, 40);
        EXPECT_TRUE(PumpUntil([&] { return server.Hits("/elsewhere") > 0; }));
        EXPECT_EQ(Shown(), server.Url("/popup")) << "still not inside the launcher";
    });
}

TEST_F(NavigationTest, AddressesTheWindowMustNotShowAreRefusedAsFailedPages) {
    host->RunWindow("", [&] {
        std::string secret = std::string(work.Path()) + "/secret.html";
        for (const std::string& bad :
             {std::string("javascript:document.title='x'"), std::string("not a url"),
              "file://" + secret, std::string("web/../secret.html")}) {
            host->ClearRecords();
            host->GotoPage(bad, true);
            EXPECT_TRUE(PumpUntil([&] { return !Browses().empty(); })) << bad;
            EXPECT_TRUE(host->Received("Log|Error|Refused to show the address " + bad)) << bad;
            EXPECT_NE(Shown().find("secret"), 0u);
        }
        // The pages of the web folder are shown, by path as the launcher writes it.
        host->GotoPage(std::string(work.Path()) + "/web\\English\\error.html", true);
        EXPECT_TRUE(PumpUntil([] { return Visible(IDC_BROWSER); }));
        EXPECT_NE(Shown().find("/web/English/error.html"), std::string::npos) << Shown();
        SaveScreenshot("static-error");
        // And the library's own pages.
        host->ClearRecords();
        host->GotoPage("res://LarkLauncherUI/LOCALNEWS.HTM", true);
        EXPECT_TRUE(PumpUntil([&] {
            return host->Received(
                "Log|Status|Web page res://LarkLauncherUI/LOCALNEWS.HTM document has completed "
                "loading");
        })) << ::testing::PrintToString(host->commands);
        EXPECT_TRUE(Browses().empty());
    });
}

TEST_F(NavigationTest, SlowBrokenAndWaitingPages) {
    host->RunWindow("", [&] {
        // Two requests while a page loads: only the second is shown after it.
        host->GotoPage(server.Url("/delay"), false);
        host->GotoPage(server.Url("/eula"), false);
        host->GotoPage(server.Url("/news"), false);
        EXPECT_TRUE(PumpUntil([&] { return server.Hits("/news") > 0; }));
        PumpFor(300);
        EXPECT_EQ(server.Hits("/eula"), 0);
        EXPECT_EQ(Shown(), server.Url("/news"));

        // A page that never finishes fails after the page time-out (3 s in this host).
        host->ClearRecords();
        host->GotoPage(server.Url("/hang"), true);
        EXPECT_TRUE(PumpUntil([&] { return !Browses().empty(); }));
        EXPECT_TRUE(host->Received("Log|Status|The navigation to web page " + server.Url("/hang") +
                                   " has failed with code -2146697205."));

        // A server that closes the connection mid-page: the window goes on either way.
        host->ClearRecords();
        host->GotoPage(server.Url("/cut"), true);
        EXPECT_TRUE(PumpUntil([&] {
            for (const auto& c : host->commands)
                if (c.find(server.Url("/cut")) != std::string::npos &&
                    c.find("Navigate(") == std::string::npos)
                    return true;
            return false;
        }));
        host->GotoPage(server.Url("/news"), true);
        EXPECT_TRUE(PumpUntil([&] {
            return host->Received("Log|Status|Web page " + server.Url("/news") +
                                  " document has completed loading");
        }));
    });
}

TEST_F(NavigationTest, AnImmediateRequestWithoutAddressKeepsTheBrowserHidden) {
    host->RunWindow("", [&] {
        host->GotoPage("", true);
        EXPECT_TRUE(host->Received("Log|Status|No URL, error set!"));
        host->GotoPage(server.Url("/news"), true);
        EXPECT_TRUE(PumpUntil([&] {
            return host->Received("Log|Status|Web page " + server.Url("/news") +
                                  " document has completed loading");
        }));
        EXPECT_FALSE(Visible(IDC_BROWSER));
        EXPECT_TRUE(Visible(IDC_LOADING));
    });
}

}  // namespace uitest

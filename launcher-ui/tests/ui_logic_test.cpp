// The window's logic that needs no display: texts, the language file, the address policy and the
// navigation chain.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <map>

#include "AddressPolicy.h"
#include "InterfaceStrings.h"
#include "Navigator.h"
#include "TempDir.h"
#include "TextConvert.h"

namespace {

using namespace LarkUi;

TEST(TextConvert, KeepsValidTextAndNeverFailsOnBrokenText) {
    EXPECT_EQ(AnsiToUtf16("caf\xC3\xA9 \xF0\x9F\x98\x80"), u"caf\u00E9 \U0001F600");
    EXPECT_EQ(AnsiToUtf16("caf\xE9 \x80"), u"caf\u00E9 \u20AC")
        << "not UTF-8: Windows-1252 per byte";
    EXPECT_EQ(Utf16ToUtf8(u"a\u00E9\U0001F600"), "a\xC3\xA9\xF0\x9F\x98\x80");
    std::u16string lone = u"x";
    lone += static_cast<char16_t>(0xD800);
    EXPECT_EQ(Utf16ToUtf8(lone), "x\xEF\xBF\xBD") << "an unpaired surrogate becomes U+FFFD";
    EXPECT_EQ(Utf8ToUtf16("a\xC0\xAF"), u"a\uFFFD\uFFFD") << "overlong form refused";
}

TEST(LanguageTable, ReadsRecordsOfThreeLinesAfterTheHeaderInBothEncodings) {
    LanguageTable table;
    // The first line is skipped even when it looks like a record.
    int stored = table.LoadBytes(
        "102\r\n  102 trailing\r\nignored\r\n  Sign in\\n now \\q \r\n"
        "abc\nx\nid zero\n110\n");
    EXPECT_EQ(stored, 3);
    EXPECT_EQ(table.Text(102), u"Sign in\n now \\q");
    EXPECT_EQ(table.Text(0), u"id zero") << "an id line without a number stores under 0";
    EXPECT_EQ(table.Text(110), u"") << "a record cut short by the end stores an empty text";
    EXPECT_EQ(table.Text(111), u"Settings") << "the built-in string when the file lacks one";
    std::u16string missing;
    EXPECT_FALSE(table.Lookup(999, missing));

    LanguageTable wide;
    std::u16string text = u"header\n121\n-\n\u00C4ccept\u20AC\n";
    std::string bytes = "\xFF\xFE";
    for (char16_t c : text) {
        bytes += static_cast<char>(c & 0xFF);
        bytes += static_cast<char>(c >> 8);
    }
    bytes += 'z';  // a stray odd byte is dropped
    EXPECT_EQ(wide.LoadBytes(bytes), 1);
    EXPECT_EQ(wide.Text(121), u"\u00C4ccept\u20AC");
}

TEST(LanguageTable, AFileInAWrongEncodingGivesTextsNotACrash) {
    hytest::TempDir dir;
    char previous[4096];
    ASSERT_NE(::getcwd(previous, sizeof previous), nullptr);
    ASSERT_EQ(::chdir(dir.Path().c_str()), 0);
    ::mkdir("LarkLauncher", 0755);
    // Big-endian UTF-16 without the FF FE mark is read byte by byte.
    std::ofstream("LarkLauncher/Deutsch.lang", std::ios::binary)
        << std::string("\xFE\xFF\0h\0\n\0001\0000\0002\0\n\0-\0\n\0X\0\n", 22);
    LanguageTable table;
    EXPECT_GE(table.LoadFile("LarkLauncher", "Deutsch"), 1);
    EXPECT_EQ(table.LoadFile("LarkLauncher", "Missing"), 0);
    EXPECT_EQ(table.Text(114), u"Loading...");
    ASSERT_EQ(::chdir(previous), 0);
}

TEST(FileProgressText, ShowsUpTo25CharactersWhole) {
    std::u16string name25(25, u'a'), name26 = u"b" + name25;
    EXPECT_EQ(FileProgressText(u"Patching :", name25), u"Patching : " + name25);
    EXPECT_EQ(FileProgressText(u"Patching :", name26), u"Patching : ..." + name25);
}

TEST(AddressPolicy, AdmitsWebPagesAndTheWebFolderOnly) {
    hytest::TempDir dir;
    std::string web = dir / "web";
    ::mkdir(web.c_str(), 0755);
    ::mkdir((web + "/English").c_str(), 0755);
    std::ofstream(web + "/English/default.html") << "<p>hi</p>";
    std::ofstream(dir / "secret.txt") << "x";
    EXPECT_EQ(AdmitAddress("http://news.example/a?b=1", web), "http://news.example/a?b=1");
    EXPECT_EQ(AdmitAddress("HTTPS://news.example/", web), "HTTPS://news.example/");
    EXPECT_EQ(AdmitAddress("res://LarkLauncherUI/LOCALNEWS.HTM", web),
              "res://LarkLauncherUI/LOCALNEWS.HTM");
    std::string page = AdmitAddress(web + "\\English\\default.html", web);
    EXPECT_EQ(page.rfind("file:///", 0), 0u) << page;
    EXPECT_EQ(AdmitAddress(page, web), page);
    for (const std::string& bad :
         {std::string("javascript:alert(1)"), std::string("not a url"), std::string("http://"),
          std::string("file:///etc/passwd"), web + "/../secret.txt",
          "file://" + web + "/../secret.txt", web + "/English/missing.html",
          std::string("data:text/html,<p>x</p>"), std::string(""),
          std::string("http://a.example/\nx")})
        EXPECT_EQ(AdmitAddress(bad, web), "") << bad;
}

// The navigator against a recording host and sink.
struct FakeHost : NavigationHost {
    bool exists = true;
    std::vector<std::string> calls;
    bool openResult = true;
    bool BrowserExists() const override { return exists; }
    void Navigate(const std::string& a) override { calls.push_back("Navigate " + a); }
    void Refresh() override { calls.push_back("Refresh"); }
    void ShowBrowser() override { calls.push_back("Show"); }
    void FillLoginFields(const std::u16string& a, const std::u16string& p) override {
        calls.push_back("Fill " + Utf16ToUtf8(a) + "|" + Utf16ToUtf8(p));
    }
    bool OpenExternally(const std::string& a) override {
        calls.push_back("Open " + a);
        return openResult;
    }
};

struct Recorder {
    std::vector<std::string> commands;
    std::map<std::string, bool> handled;
    CommandDelegate delegate;
    Recorder() {
        delegate.object = this;
        delegate.function = [](void* self, ExeParams& p) {
            auto* r = static_cast<Recorder*>(self);
            r->commands.push_back(p.command);
            p.handled = r->handled.count(p.command) ? r->handled[p.command] : true;
        };
    }
    std::vector<std::string> Browses() const {
        std::vector<std::string> out;
        for (const auto& c : commands)
            if (c.rfind("Browse", 0) == 0) out.push_back(c);
        return out;
    }
};

TEST(Navigator, WaitsForTheRunningPageAndKeepsOnlyTheLastWaitingAddress) {
    FakeHost host;
    Recorder rec;
    CommandSink sink;
    sink.SetDelegate(&rec.delegate);
    Navigator nav(host, sink);
    nav.GotoPage("http://a/1", false);
    nav.GotoPage("http://a/2", false);
    nav.GotoPage("http://a/3", false);
    EXPECT_EQ(host.calls, (std::vector<std::string>{"Navigate http://a/1"}));
    nav.OnDocumentComplete("http://a/1");
    EXPECT_EQ(host.calls,
              (std::vector<std::string>{"Navigate http://a/1", "Show", "Navigate http://a/3"}));
    EXPECT_TRUE(nav.Navigating());
    nav.GotoPage("http://a/4", true);
    EXPECT_EQ(host.calls.back(), "Navigate http://a/4") << "an immediate request is never deferred";
    EXPECT_EQ(rec.commands[1], "Log|Status|Setting next URL http://a/2");

    nav.GotoPage("", true);
    EXPECT_TRUE(nav.BrowserHeld());
    host.calls.clear();
    nav.OnDocumentComplete("http://a/4");
    EXPECT_EQ(host.calls, std::vector<std::string>{}) << "a held browser is never shown";

    FakeHost missing;
    missing.exists = false;
    Navigator early(missing, sink);
    early.GotoPage("http://a/5", true);
    EXPECT_EQ(early.PendingUrl(), "http://a/5");
    EXPECT_TRUE(missing.calls.empty());
}

TEST(Navigator, RefreshesOnceWhenAnAutologinPageLoadsAnotherAddress) {
    FakeHost host;
    CommandSink sink;
    Navigator nav(host, sink);
    nav.GotoPage("http://h/autologin/news?jsessionid=1", false);
    nav.OnDocumentComplete("http://h/autologin/news?other");
    EXPECT_EQ(std::count(host.calls.begin(), host.calls.end(), "Refresh"), 0)
        << "differs after '?' only";
    nav.GotoPage("http://h/autologin/news?jsessionid=1", false);
    nav.OnDocumentComplete("http://h/login");
    EXPECT_EQ(std::count(host.calls.begin(), host.calls.end(), "Refresh"), 1);
    EXPECT_FALSE(nav.Navigating());
    nav.GotoPage("http://h/news", false);
    nav.OnDocumentComplete("http://h/other");
    EXPECT_EQ(std::count(host.calls.begin(), host.calls.end(), "Refresh"), 1)
        << "no autologin, no refresh";
}

TEST(Navigator, FailuresWalkTheFallbackChainInOrder) {
    FakeHost host;
    Recorder rec;
    CommandSink sink;
    sink.SetDelegate(&rec.delegate);
    Navigator nav(host, sink);
    nav.SetStaticTried();                      // a start without an EULA
    rec.handled["BrowseStaticError"] = false;  // refused outside the ready state
    for (int i = 0; i < 3; ++i) nav.OnNavigateError("http://a/news", 404);
    rec.handled["BrowseStaticError"] = true;
    nav.OnNavigateError("http://a/news", 404);
    nav.OnNavigateError("file:///web/English/error.html", -1);
    nav.OnNavigateError("file:///web/English/firewall.html", -1);
    EXPECT_EQ(rec.Browses(),
              (std::vector<std::string>{"BrowseFallBack", "BrowseStaticError", "BrowseStaticError",
                                        "BrowseStaticError", "BrowseFirewall"}));
    nav.ResetFallback();
    nav.OnNavigateError("http://a/news", 404);
    EXPECT_EQ(rec.Browses().back(), "BrowseFallBack") << "the Login action starts the chain again";

    Recorder eula;
    CommandSink eulaSink;
    eulaSink.SetDelegate(&eula.delegate);
    Navigator withEula(host, eulaSink);
    for (int i = 0; i < 4; ++i) withEula.OnNavigateError("http://a/eula", 500);
    EXPECT_EQ(eula.Browses(), (std::vector<std::string>{"BrowseFallBack", "BrowseStatic",
                                                        "BrowseStaticError", "BrowseFirewall"}));
}

TEST(Navigator, PatcherLinksFillTheFieldsAndAreNeverFollowed) {
    FakeHost host;
    CommandSink sink;
    Navigator nav(host, sink);
    EXPECT_TRUE(nav.OnBeforeNavigate("patcher:LoginComplete@alice,s3cret"));
    EXPECT_TRUE(nav.OnBeforeNavigate("patcher:LoginComplete@bob"));
    EXPECT_TRUE(nav.OnBeforeNavigate("patcher:Other@x,y"));
    EXPECT_FALSE(nav.OnBeforeNavigate("http://a/page"));
    EXPECT_EQ(host.calls, (std::vector<std::string>{"Fill alice|s3cret", "Fill bob|bob"}));
    host.openResult = false;
    EXPECT_FALSE(nav.OnNewWindow("http://a/new")) << "the web view opens it when the system cannot";
}

TEST(CommandSink, LogLinesKeepPercentSignsOfTheirArgumentsAndAreCut) {
    Recorder rec;
    CommandSink sink;
    EXPECT_FALSE(sink.Send("Tick")) << "no delegate: dropped";
    sink.SetDelegate(&rec.delegate);
    sink.LogToLauncher("Status", "Web page %s document has completed loading", "http://a/%d%s");
    sink.LogToLauncher("Status", "%s", std::string(9000, 'x').c_str());
    EXPECT_EQ(rec.commands[0], "Log|Status|Web page http://a/%d%s document has completed loading");
    EXPECT_EQ(rec.commands[1].size(), 8191u);
}

}  // namespace

#include "PTServer.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <thread>

#include "HostTestSupport.h"
#include "LogCapture.h"
#include "TempDir.h"
#include "WineLoader.h"

namespace larkhost {
namespace {

using test::PumpUntil;
using test::ReadFile;

class FakeBottles : public BottleCollection {
  public:
    std::vector<BottleInfo> Bottles() override {
        return {{"One", "One", true, true}, {"Two", "Two", false, true}};
    }
    std::string DefaultBottle() override { return "One"; }
    bool QuitStep(const std::string& bottle, const std::string& step, bool force) override {
        onMainThread = onMainThread && std::this_thread::get_id() == mainThread;
        steps.push_back(bottle + ":" + step);
        return !(bottle == refuseBottle && step == "quit");
    }
    void ForceQuit(const std::string& bottle) override { steps.push_back(bottle + ":force"); }

    std::vector<std::string> steps;
    std::string refuseBottle;
    std::thread::id mainThread = std::this_thread::get_id();
    bool onMainThread = true;
};

class PTServerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::filesystem::create_directories(root.Path("bin"));
        // The fake scripts record their environment, arguments and any error output asked for.
        test::WriteScript(root.Path("bin/launcher"),
                          "env > \"$(dirname \"$0\")/../launcher.env\"\n"
                          "[ -n \"$FAKE_STDERR\" ] && printf '%s\\n' \"$FAKE_STDERR\" >&2\n"
                          "exit 0\n");
        test::WriteScript(root.Path("bin/ptstart"),
                          "printf '%s\\n' \"$@\" > \"$(dirname \"$0\")/../ptstart.args\"\n"
                          "[ -n \"$FAKE_STDERR\" ] && printf '%s\\n' \"$FAKE_STDERR\" >&2\n"
                          "exit 0\n");
        setenv("PYTHONPATH", "/somewhere", 1);
        unsetenv("FAKE_STDERR");
        unsetenv("PT_WINEWRAPPER_ALT_LOADER_SOCKET");
        options.porticoRoot = root.Path();
        options.version = "1.0";
    }
    void TearDown() override {
        unsetenv("PYTHONPATH");
        unsetenv("FAKE_STDERR");
        unsetenv("PT_WINEWRAPPER_ALT_LOADER_SOCKET");
        test::PumpPending();
    }

    bool Exists(const std::string& name) { return std::filesystem::exists(root.Path(name)); }

    hytest::TempDir root;
    hytest::TempDir config;
    HostDefaults defaults{config.Path("larkhost.conf")};
    test::RecordingUi ui;
    PTServerOptions options;
};

TEST_F(PTServerTest, StartUpRunsThePrimaryTaskBehindTheGateWithItsEnvironmentAndQuitsAfterIt) {
    WineLoaderOptions loaderOptions;
    loaderOptions.porticoRoot = root.Path();
    auto loader = WineLoader::Create(loaderOptions);
    ASSERT_TRUE(loader);
    PTServer server(options, defaults, ui);
    server.SetWineLoader(loader);
    hytest::ScopedLogCapture log;

    server.DidFinishLaunching();
    // Nothing runs before start-up has returned: the gate opens from the main loop.
    EXPECT_FALSE(server.GateOpen());
    EXPECT_FALSE(server.HelperServerReady());
    EXPECT_EQ(server.RunningTasks(), 0);
    EXPECT_TRUE(server.PrimaryTaskScheduled());
    EXPECT_EQ(ui.firstRunShown, 1);
    EXPECT_EQ(defaults.GetString("FirstRunVersion"), std::optional<std::string>("1.0"));

    ASSERT_TRUE(PumpUntil([&] { return ui.quits == 1; }));
    std::string env = ReadFile(root.Path("launcher.env"));
    EXPECT_NE(env.find("PT_ROOT=" + root.Path() + "\n"), std::string::npos);
    EXPECT_EQ(env.find("PYTHONPATH="), std::string::npos);
    EXPECT_NE(env.find("PT_LAUNCH_NOTIFY_SOCKET=/"), std::string::npos);
    EXPECT_NE(env.find("PT_WINEWRAPPER_ALT_LOADER_SOCKET=" + loader->SocketPath() + "\n"),
              std::string::npos);
    EXPECT_EQ(log->Count("Running tasks: 0"), 1);
    EXPECT_EQ(log->Count("The primary OEM task just exited.  Time to close down."), 1);
    EXPECT_EQ(server.PendingLaunches(), 0u);
    EXPECT_GE(ui.splashShown, 1);
    EXPECT_FALSE(ui.splashVisible);
    EXPECT_TRUE(ui.alerts.empty());
}

TEST_F(PTServerTest, TheLaunchSplashStaysHiddenWhileTheFirstRunSplashShowsAndBothCloseAtTheEnd) {
    defaults.SetString("FirstRunVersion", "0.9");
    ui.firstRunShowing = true;
    PTServer server(options, defaults, ui);
    server.DidFinishLaunching();
    EXPECT_EQ(ui.firstRunShown, 1);
    ASSERT_TRUE(PumpUntil([&] { return ui.quits == 1; }));
    EXPECT_EQ(ui.splashShown, 0);  // the start-up test shows the splash when this one is not up
    EXPECT_GE(ui.splashesClosed, 1);
    EXPECT_FALSE(ui.firstRunShowing);
    EXPECT_EQ(defaults.GetString("FirstRunVersion"), std::optional<std::string>("1.0"));
}

TEST_F(PTServerTest, TheFirstRunSplashComesOnlyWhenTheRecordedVersionDiffersIgnoringCase) {
    options.version = "1.0b";
    defaults.SetString("FirstRunVersion", "1.0B");
    {
        PTServer server(options, defaults, ui);
        server.DidFinishLaunching();
        ASSERT_TRUE(PumpUntil([&] { return ui.quits == 1; }));
    }
    EXPECT_EQ(ui.firstRunShown, 0);
    EXPECT_EQ(defaults.GetString("FirstRunVersion"), std::optional<std::string>("1.0B"));
    options.version = "1.1";
    PTServer server(options, defaults, ui);
    server.DidFinishLaunching();
    ASSERT_TRUE(PumpUntil([&] { return ui.quits == 2; }));
    EXPECT_EQ(ui.firstRunShown, 1);
    EXPECT_EQ(defaults.GetString("FirstRunVersion"), std::optional<std::string>("1.1"));
}

TEST_F(PTServerTest, AKeyFileThatCannotBeReadOrWrittenStillStartsWithTheFirstRunSplash) {
    std::filesystem::create_directories(config.Path("unusable.conf"));  // a folder, not a file
    HostDefaults unusable(config.Path("unusable.conf"));
    unusable.RegisterHostDefaults("/b");
    PTServer server(options, unusable, ui);
    server.DidFinishLaunching();
    EXPECT_EQ(ui.firstRunShown, 1);
    ASSERT_TRUE(PumpUntil([&] { return ui.quits == 1; }));
    EXPECT_TRUE(std::filesystem::is_directory(config.Path("unusable.conf")));
}

TEST_F(PTServerTest, DisableWineIntegrationRemovesTheLoaderSocketVariable) {
    WineLoaderOptions loaderOptions;
    loaderOptions.porticoRoot = root.Path();
    auto loader = WineLoader::Create(loaderOptions);
    ASSERT_TRUE(loader);
    setenv("PT_WINEWRAPPER_ALT_LOADER_SOCKET", "/stale/socket", 1);  // even an inherited one goes
    defaults.SetBool("DisableWineIntegration", true);
    PTServer server(options, defaults, ui);
    server.SetWineLoader(loader);
    server.DidFinishLaunching();
    ASSERT_TRUE(PumpUntil([&] { return ui.quits == 1; }));
    std::string env = ReadFile(root.Path("launcher.env"));
    EXPECT_NE(env.find("PT_ROOT="), std::string::npos);
    EXPECT_EQ(env.find("PT_WINEWRAPPER_ALT_LOADER_SOCKET"), std::string::npos);
}

TEST_F(PTServerTest, AUrlStartRunsOnlyTheUrlCommandWithTheUrlIntact) {
    PTServer server(options, defaults, ui);
    const std::string url = "larkspur://play?name='o''brien'&x=$HOME";
    server.OpenUrl(url, "");
    server.DidFinishLaunching();
    ASSERT_TRUE(PumpUntil([&] { return ui.quits == 1; }));
    EXPECT_EQ(ReadFile(root.Path("ptstart.args")),
              "--bottle\ndefault\n--wait-children\n--enable-alt-loader\nmacdrv\n--\n" + url + "\n");
    EXPECT_FALSE(Exists("launcher.env"));  // never the launcher
}

TEST_F(PTServerTest, ThePrivateSchemeStartsNothing) {
    PTServer server(options, defaults, ui);
    server.OpenUrl("COM.tessaline.private-larkspur-app-scheme:activate", "");
    server.DidFinishLaunching();
    ASSERT_TRUE(PumpUntil([&] { return server.GateOpen(); }));
    test::PumpPending();
    EXPECT_EQ(server.RunningTasks(), 0);
    EXPECT_FALSE(Exists("ptstart.args"));
    EXPECT_FALSE(Exists("launcher.env"));
}

TEST_F(PTServerTest, ADocumentPathHoldingASingleQuoteReachesTheScriptIntact) {
    PTServer server(options, defaults, ui);
    std::string doc = root.Path("it's a \"doc\" $x.txt");
    server.OpenDocument(doc, "Bottle A");
    server.DidFinishLaunching();
    ASSERT_TRUE(PumpUntil([&] { return ui.quits == 1; }));
    EXPECT_EQ(ReadFile(root.Path("ptstart.args")),
              "--bottle\nBottle A\n--wait-children\n--enable-alt-loader\nmacdrv\n--untrusted\n" +
                  doc + "\n");
    EXPECT_FALSE(Exists("launcher.env"));
    // The document file does not exist, so it is not remembered; an existing one is.
    EXPECT_TRUE(RecentItems(defaults).Load().empty());
    std::ofstream(doc) << "x";
    server.RunClient(doc, "Bottle A");
    auto recent = RecentItems(defaults).Load();
    ASSERT_EQ(recent.size(), 1u);
    EXPECT_EQ(recent[0].bottle, std::optional<std::string>("Bottle A"));
}

TEST_F(PTServerTest, ErrorOutputIsLoggedAndKnownFailuresRaiseTheirAlerts) {
    struct Case {
        std::string stderrText;
        std::string doc;
        std::string title;
        std::string text;
    };
    const std::string reasons =
        "Possible reasons for this error are:\n\n\u2022 The application associated with this "
        "document has been "
        "deleted\n\u2022 The application associated with this document is not in the default "
        "bottle\n";
    const std::string uninstalled =
        "Probably it has been uninstalled or its bottle has been deleted.\n";
    std::string doc = root.Path("doc.txt");
    for (const Case& c :
         {Case{"wine: failed (error 31)", "", "Larkspur was unable to open this document.",
               reasons},
          Case{"wine: failed (error 31)", doc, "Larkspur was unable to open " + doc + ".", reasons},
          Case{"x.exe: No such file or directory", "",
               "Larkspur was unable to start this application.", uninstalled},
          Case{"x.exe: No such file or directory", doc, "Larkspur was unable to start " + doc + ".",
               uninstalled},
          Case{"some other complaint", "", "", ""}}) {
        SCOPED_TRACE(c.stderrText + " / " + c.doc);
        test::RecordingUi localUi;
        PTServer server(options, defaults, localUi);
        setenv("FAKE_STDERR", c.stderrText.c_str(), 1);
        hytest::ScopedLogCapture log;
        if (c.doc.empty())
            server.DidFinishLaunching();
        else {
            server.OpenDocument(c.doc, "");
            server.DidFinishLaunching();
        }
        ASSERT_TRUE(PumpUntil([&] { return localUi.quits == 1; }));
        EXPECT_EQ(log->Count("Task error output: " + c.stderrText + "\n\n"), 1);
        if (c.title.empty()) {
            EXPECT_TRUE(localUi.alerts.empty());
        } else {
            ASSERT_EQ(localUi.alerts.size(), 1u);
            EXPECT_EQ(localUi.alerts[0].title, c.title);
            EXPECT_EQ(localUi.alerts[0].text, c.text);
            EXPECT_EQ(localUi.alerts[0].button, "OK");
        }
    }
}

TEST_F(PTServerTest, ATaskThatCannotStartRaisesTheLaunchAlertAndTheHostKeepsRunning) {
    PTServer server(options, defaults, ui);
    hytest::ScopedLogCapture log;
    LaunchArgs args;
    args.workdir = root.Path("missing-folder");
    server.ForkExecCommand(PrimaryCommand(root.Path()), args);
    EXPECT_EQ(log->CountPrefix("Exception when launching task: "), 1);
    ASSERT_EQ(ui.alerts.size(), 1u);
    EXPECT_EQ(ui.alerts[0].title, "Larkspur could not open the document or program.");
    EXPECT_EQ(ui.alerts[0].text, "An error occurred when attempting to launch a new task.");
    EXPECT_EQ(server.RunningTasks(), 0);
    EXPECT_EQ(ui.quits, 0);
}

TEST_F(PTServerTest, QuittingShutsEveryBottleDownOnTheMainThreadBeforeTheHostEnds) {
    FakeBottles bottles;
    PTServer server(options, defaults, ui);
    server.SetBottleCollection(&bottles);
    bool shutDown = false;
    server.WhenShutDown([&] { shutDown = true; });
    server.DidFinishLaunching();
    ASSERT_TRUE(PumpUntil([&] { return ui.quits == 1; }));
    EXPECT_TRUE(shutDown);
    EXPECT_EQ(bottles.steps,
              (std::vector<std::string>{"One:pre_quit", "One:quit", "One:post_quit", "Two:pre_quit",
                                        "Two:quit", "Two:post_quit"}));
    EXPECT_TRUE(bottles.onMainThread);
    EXPECT_TRUE(server.ShouldTerminate());  // shut down: now
}

TEST_F(PTServerTest, ABottleThatRefusesCancelsTheShutdownAndTheHostStays) {
    FakeBottles bottles;
    bottles.refuseBottle = "One";
    PTServer server(options, defaults, ui);
    server.SetBottleCollection(&bottles);
    hytest::ScopedLogCapture log;
    EXPECT_FALSE(server.ShouldTerminate());  // later
    EXPECT_FALSE(server.ShouldTerminate());  // still later while quitting
    ASSERT_TRUE(
        PumpUntil([&] { return log->Count("Canceling shutdown") == 1 && !server.Quitting(); }));
    EXPECT_EQ(bottles.steps, (std::vector<std::string>{"One:pre_quit", "One:quit"}));
    EXPECT_EQ(ui.quits, 0);
}

}  // namespace
}  // namespace larkhost

#include "MoveToApplications.h"

#include <gtest/gtest.h>

#include <unistd.h>
#include <filesystem>
#include <fstream>

#include "HostDefaults.h"
#include "LogCapture.h"
#include "TempDir.h"

namespace larkhost {
namespace {

namespace fs = std::filesystem;

class RecordingActions : public MoveActions {
  public:
    MoveAnswer Ask(const MoveQuestion& q) override {
        questions.push_back(q);
        return answer;
    }
    void ShowFailure() override { ++failures; }
    int RunPrivileged(const std::vector<std::string>& argv) override {
        privileged.push_back(argv);
        return privilegedResult;
    }
    bool Trash(const std::string& path) override {
        trashed.push_back(path);
        std::error_code ec;
        fs::remove_all(path, ec);
        return true;
    }
    void StartShell(const std::string& command) override { started.push_back(command); }

    MoveAnswer answer{true, false};
    int privilegedResult = 0;
    std::vector<MoveQuestion> questions;
    std::vector<std::vector<std::string>> privileged;
    std::vector<std::string> trashed;
    std::vector<std::string> started;
    int failures = 0;
};

class MoveTest : public ::testing::Test {
  protected:
    void SetUp() override {
        env.userApplications = dir.Path("home/Applications");
        env.systemApplications = dir.Path("opt/Applications");
        env.downloads = dir.Path("home/Downloads");
        env.mountInfo = dir.Path("mountinfo");  // no loop mounts
        env.runningExecutables = [this] { return running; };
        fs::create_directories(env.downloads);
        fs::create_directories(env.systemApplications);
        bundle = env.downloads + "/Larkspur.AppImage";
        std::ofstream(bundle) << "#!/bin/sh\n";
        fs::permissions(bundle, fs::perms::owner_all);
    }
    hytest::TempDir dir;
    HostDefaults defaults{dir.Path("conf")};
    MoveEnvironment env;
    std::vector<std::string> running;
    std::string bundle;
    RecordingActions actions;
};

TEST_F(MoveTest, ACopyUnderSteamAppsOrAnApplicationsFolderIsNeverOffered) {
    for (std::string place :
         {"games/steamapps/common/Larkspur", "games/SteamApps/x", "x/Applications/y"}) {
        fs::create_directories(dir.Path(place));
        EXPECT_FALSE(PlanMove(dir.Path(place), defaults, env).offer) << place;
    }
    EXPECT_TRUE(PlanMove(bundle, defaults, env).offer);  // the same check offers it from Downloads
    defaults.SetBool("moveToApplicationsFolderAlertSuppress", true);
    EXPECT_FALSE(PlanMove(bundle, defaults, env).offer);
}

TEST_F(MoveTest, AnEmptyUserApplicationsFolderProposesTheSystemOne) {
    fs::create_directories(env.userApplications);
    MovePlan plan = PlanMove(bundle, defaults, env);
    EXPECT_EQ(plan.question.title, "Move to Applications folder?");
    EXPECT_EQ(plan.destination, env.systemApplications + "/Larkspur.AppImage");
    EXPECT_EQ(plan.question.text,
              "I can move myself to the Applications folder if you'd like. This will keep your "
              "Downloads folder uncluttered.");
    std::ofstream(env.userApplications + "/Other.AppImage") << "x";
    plan = PlanMove(bundle, defaults, env);
    EXPECT_EQ(plan.question.title, "Move to Applications folder in your Home folder?");
    EXPECT_EQ(plan.destination, env.userApplications + "/Larkspur.AppImage");
}

TEST_F(MoveTest, AnUnwritableDestinationAsksForAnAdministratorAndCopiesWithRights) {
    env.writable = [this](const std::string& path) {
        return path.rfind(env.systemApplications, 0) != 0;
    };
    MovePlan plan = PlanMove(bundle, defaults, env);
    EXPECT_TRUE(plan.needsAdmin);
    EXPECT_EQ(plan.question.text,
              "I can move myself to the Applications folder if you'd like. Note that this will "
              "require an administrator password.");
    EXPECT_EQ(MoveToApplicationsIfWanted(bundle, defaults, env, actions, 42), MoveOutcome::Moved);
    ASSERT_EQ(actions.privileged.size(), 2u);
    EXPECT_EQ(actions.privileged[0],
              (std::vector<std::string>{"/bin/rm", "-rf", "--", plan.destination}));
    EXPECT_EQ(actions.privileged[1],
              (std::vector<std::string>{"/bin/cp", "-a", "--", bundle, plan.destination}));
}

TEST_F(MoveTest, MovingOnTheSameFileSystemAndRelaunchingTheNewCopy) {
    hytest::ScopedLogCapture log;
    EXPECT_EQ(MoveToApplicationsIfWanted(bundle, defaults, env, actions, 4242), MoveOutcome::Moved);
    std::string dest = env.systemApplications + "/Larkspur.AppImage";
    EXPECT_TRUE(fs::exists(dest));
    EXPECT_FALSE(fs::exists(bundle));
    EXPECT_TRUE(actions.trashed.empty());  // moved, not copied: nothing to trash
    ASSERT_EQ(actions.started.size(), 1u);
    EXPECT_EQ(actions.started[0],
              "(while /bin/kill -0 4242 2>/dev/null; do sleep 0.1; done; '" + dest + "') &");
    EXPECT_EQ(log->Count("INFO -- Moving myself to the Applications folder"), 1);
}

TEST_F(MoveTest, ACopyAlreadyRunningFromTheDestinationIsSwitchedToInsteadOfReplaced) {
    std::string dest = env.systemApplications + "/Larkspur.AppImage";
    std::ofstream(dest) << "older";
    running = {dest};
    hytest::ScopedLogCapture log;
    EXPECT_EQ(MoveToApplicationsIfWanted(bundle, defaults, env, actions, 1),
              MoveOutcome::SwitchedToRunning);
    EXPECT_EQ(log->Count("INFO -- Switching to an already running version"), 1);
    EXPECT_TRUE(actions.trashed.empty());
    EXPECT_TRUE(fs::exists(bundle));
    EXPECT_EQ(std::ifstream(dest).get(), 'o');  // untouched
    // Not running: the old destination goes to the trash and is replaced.
    running.clear();
    EXPECT_EQ(MoveToApplicationsIfWanted(bundle, defaults, env, actions, 1), MoveOutcome::Moved);
    EXPECT_EQ(actions.trashed, std::vector<std::string>{dest});
}

TEST_F(MoveTest, DecliningWithTheCheckBoxSuppressesTheOfferForGood) {
    actions.answer = {false, true};
    EXPECT_EQ(MoveToApplicationsIfWanted(bundle, defaults, env, actions, 1), MoveOutcome::Declined);
    EXPECT_EQ(MoveToApplicationsIfWanted(bundle, defaults, env, actions, 1),
              MoveOutcome::NotOffered);
    EXPECT_EQ(actions.questions.size(), 1u);
    EXPECT_TRUE(fs::exists(bundle));
}

TEST_F(MoveTest, ACancelledAuthorisationMovesNothing) {
    env.writable = [this](const std::string& path) {
        return path.rfind(env.systemApplications, 0) != 0;
    };
    actions.privilegedResult = 126;
    hytest::ScopedLogCapture log;
    EXPECT_EQ(MoveToApplicationsIfWanted(bundle, defaults, env, actions, 1), MoveOutcome::Failed);
    EXPECT_EQ(log->Count("INFO -- Not moving because user canceled authorization"), 1);
    EXPECT_EQ(actions.failures, 0);
    EXPECT_TRUE(actions.started.empty());
}

TEST(MovePaths, WithinComparesWholeComponents) {
    EXPECT_TRUE(PathWithin("/a/b/c", "/a/b"));
    EXPECT_TRUE(PathWithin("/a/b", "/a/b/"));
    EXPECT_FALSE(PathWithin("/a/bc", "/a/b"));
    EXPECT_FALSE(PathWithin("/a", "/a/b"));
}

}  // namespace
}  // namespace larkhost

// The larkserver program's patch and serve commands: started on port 0 they print the ports they
// took, answer list requests, serve the repository over HTTP and end cleanly on SIGTERM; a
// repository that cannot be served stops the start with a message.
#include <gtest/gtest.h>

#include "OsEnv.h"
#include "OsFile.h"
#include "WorkerPump.h"
#include "patch_test_support.h"
#include "server_process_support.h"

namespace {

using namespace patchtest;

TEST(LarkServerPatchProgram, ServesListsAndFilesOnThePortsItPrints) {
    PublishedRepository repository;
    std::vector<std::string> lines;
    pid_t pid = StartServer({"patch", "--port", "0", "--data", HY_DATA_SOURCE_DIR, "--repository",
                             repository.repo, "--log", repository.dir / "LarkServer.Log.txt"},
                            3, lines);
    ASSERT_GT(pid, 0);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[2],
              "larkserver: serving LatestFileList.xml version 1 of " + repository.repo + "\n");
    uint16_t patchPort = ListeningPort(lines, "patch"), httpPort = ListeningPort(lines, "http");
    ASSERT_NE(patchPort, 0);
    ASSERT_NE(httpPort, 0);

    std::string listUrl;
    HY_OS::SetEnv("HY_HOSTNAME", "localhost");
    hytest::RunOnWorker([&] {
        ListClient client("English");
        ASSERT_TRUE(client.Ask(patchPort));
        ASSERT_TRUE(client.reply);
        listUrl = client.reply->FindField("ListFileURL")->ToStr();
    });
    EXPECT_EQ(listUrl,
              "http://127.0.0.1:" + std::to_string(httpPort) + "/lists/1/LatestFileList.xml");
    RawHttp http(httpPort);
    std::string body;
    EXPECT_EQ(http.Exchange("GET /lists/1/LatestFileList.xml HTTP/1.1\r\nHost: x\r\n\r\n", &body),
              200);
    EXPECT_NE(body.find("<About>"), std::string::npos);
    EXPECT_EQ(StopServer(pid), 0);
}

TEST(LarkServerPatchProgram, ServeRunsBothRolesAndRefusesIncompleteRoles) {
    PublishedRepository repository;
    std::string accounts = repository.dir / "accounts.txt";
    HY_OS::WriteFileAtomic(accounts, "");
    std::vector<std::string> lines;
    pid_t pid = StartServer({"serve", "--data", HY_DATA_SOURCE_DIR, "--login-port", "0",
                             "--accounts", accounts, "--patch-port", "0", "--repository",
                             repository.repo, "--log", repository.dir / "LarkServer.Log.txt"},
                            4, lines);
    ASSERT_GT(pid, 0);
    EXPECT_NE(ListeningPort(lines, "login"), 0);
    EXPECT_NE(ListeningPort(lines, "patch"), 0);
    EXPECT_NE(ListeningPort(lines, "http"), 0);
    EXPECT_EQ(StopServer(pid), 0);

    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"serve", "--data", HY_DATA_SOURCE_DIR},
          {"serve", "--data", HY_DATA_SOURCE_DIR, "--patch-port", "0"},
          {"patch", "--port", "70000", "--data", HY_DATA_SOURCE_DIR, "--repository",
           repository.repo},
          {"patch", "--port", "0", "--data", HY_DATA_SOURCE_DIR},
          {"patch", "--port", "0", "--data", HY_DATA_SOURCE_DIR, "--repository", repository.repo,
           "--http_port", "1"}}) {
        std::vector<std::string> none;
        pid_t refused = StartServer(args, 1, none);
        EXPECT_TRUE(none.empty());
        EXPECT_EQ(StopServer(refused), 2) << args[1];
    }
    std::vector<std::string> none;
    pid_t missing =
        StartServer({"patch", "--port", "0", "--data", HY_DATA_SOURCE_DIR, "--repository",
                     repository.dir / "nothing", "--log", repository.dir / "LarkServer.Log.txt"},
                    1, none);
    EXPECT_TRUE(none.empty());
    EXPECT_EQ(StopServer(missing), 1);
}

TEST(LarkServerPatchProgram, HelpDocumentsEveryRole) {
    std::vector<std::string> lines;
    pid_t pid = StartServer({"--help"}, 200, lines);
    EXPECT_EQ(StopServer(pid), 0);
    std::string text;
    for (const std::string& line : lines) text += line;
    for (const char* part :
         {"larkserver login", "larkserver patch", "larkserver serve", "larkserver add-account",
          "ERROR1", "--http-port", "--url-host", "listening on ADDRESS:PORT"})
        EXPECT_NE(text.find(part), std::string::npos) << part;
}

}  // namespace

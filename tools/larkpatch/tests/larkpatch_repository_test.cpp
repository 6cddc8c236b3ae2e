// The launcher's patcher against the real operator side: a build published by larkpublish,
// answered by the patch role of larkserver, its files served once by larkserver's own HTTP server
// and once by nginx from a copy of the same repository. Both installs are byte for byte the build.
#include <gtest/gtest.h>
#include <netinet/in.h>

#include <filesystem>
#include <map>

#include "OsFile.h"
#include "PatchServer.h"
#include "Publisher.h"
#include "RepositoryHttpServer.h"
#include "WadWriter.h"
#include "nginx_server.h"
#include "patcher_test_support.h"

namespace patchtest {
namespace {

namespace fs = std::filesystem;

// Every regular file below `root` (except the patcher's own PatchInfo folder) with its bytes.
std::map<std::string, std::string> Tree(const std::string& root) {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        std::string relative = fs::relative(entry.path(), root).generic_string();
        if (relative.rfind("PatchInfo", 0) == 0 || !entry.is_regular_file()) continue;
        files[relative] = ReadFile(entry.path().string());
    }
    return files;
}

// Patches "Base" from the patch server at `port` into `install`.
void Install(uint16_t port, const std::string& install, uint32_t expectedFiles) {
    RecordingBatch batch;
    ASSERT_TRUE(batch.Setup(install, port));
    batch.AddPackage("Base", 1, true);
    ASSERT_TRUE(batch.RunBatch(60000));
    ASSERT_EQ(batch.batchFailure, 0) << ::testing::PrintToString(batch.events);
    EXPECT_TRUE(batch.Has("batch-ok:" + std::to_string(expectedFiles))) << ::testing::PrintToString(batch.events);
}

TEST(LarkPatchRepository, LarkserverAndNginxServingOnePublishedRepositoryGiveIdenticalInstalls) {
    RunOnWorker([] {
        TempDir dir;
        WadWriter wad;
        for (int i = 0; i < 6; ++i) wad.Add("element" + std::to_string(i), RandomBytes(5000 + i * 300, 20 + i), i % 2 == 0);
        std::string archive;
        wad.Build(archive);
        std::map<std::string, std::string> build = {{"Game.bin", RandomBytes(120000, 1)},
                                                    {"Bin/run.sh", "#!/bin/sh\nexec ./Game.bin\n"},
                                                    {"Data/Text.txt", std::string(50000, 't') + "end"},
                                                    {"Data/Root.wad", archive}};
        for (const auto& [path, content] : build) WriteFile(dir / ("build/" + path), content);
        WriteFile(dir / "manifest.txt",
                  "package Base required\nplain Game.bin\nplain Bin/run.sh\ngzip Data/Text.txt\nwad Data/Root.wad\n");
        larkpublish::PublishOptions options;
        options.buildFolder = dir / "build";
        options.manifestPath = dir / "manifest.txt";
        options.repository = dir / "repo";
        options.listType = 2;
        larkpublish::PublishResult result;
        std::string error;
        ASSERT_TRUE(larkpublish::Publish(options, result, error)) << error;

        // larkserver: the patch role and its own HTTP server.
        RepositoryHttpServer http(options.repository);
        ASSERT_TRUE(http.Start("127.0.0.1", 0));
        PatchServer withHttp(options.repository, "http://127.0.0.1:" + std::to_string(http.Port()));
        ASSERT_TRUE(withHttp.LoadRepository(error)) << error;
        ASSERT_EQ(withHttp.Listen(HYInetAddress(INADDR_LOOPBACK, 0)), 0);
        Install(withHttp.Port(), dir.Path("viaLarkserver") + "/", 4);
        EXPECT_GT(http.FilesServed(), 0u);

        // nginx serving a copy of the same repository.
        NginxServer nginx;
        if (!nginx.Start()) GTEST_SKIP() << nginx.Error();
        fs::copy(options.repository, nginx.Root(), fs::copy_options::recursive | fs::copy_options::overwrite_existing);
        PatchServer withNginx(options.repository, nginx.Url(""));
        ASSERT_TRUE(withNginx.LoadRepository(error)) << error;
        ASSERT_EQ(withNginx.Listen(HYInetAddress(INADDR_LOOPBACK, 0)), 0);
        Install(withNginx.Port(), dir.Path("viaNginx") + "/", 4);
        EXPECT_NE(nginx.AccessLog().find("Game.bin"), std::string::npos);

        std::map<std::string, std::string> a = Tree(dir.Path("viaLarkserver"));
        std::map<std::string, std::string> b = Tree(dir.Path("viaNginx"));
        EXPECT_EQ(a, build);
        EXPECT_TRUE(a == b);
        EXPECT_EQ(ReadFile(dir.Path("viaLarkserver/PatchInfo/LatestFileList.bin")),
                  ReadFile(dir.Path("viaNginx/PatchInfo/LatestFileList.bin")));
    });
}

}  // namespace
}  // namespace patchtest

#include "OsDownload.h"

#include <gtest/gtest.h>
#include <httplib.h>
#include <unistd.h>

#include <thread>

#include "OsEnv.h"
#include "OsFile.h"

namespace {

// An HTTP server on 127.0.0.1 with a port of the system's choosing, stopped at destruction.
class LoopbackServer {
public:
    LoopbackServer() {
        HY_OS::SetEnv("no_proxy", "127.0.0.1");
        m_server.Get("/file", [](const httplib::Request&, httplib::Response& res) {
            res.set_content(std::string("first line\nsecond\0line", 23), "application/octet-stream");
        });
        m_server.Get("/moved", [](const httplib::Request&, httplib::Response& res) {
            res.set_redirect("/file");
        });
        m_server.Get("/to-local-file", [](const httplib::Request&, httplib::Response& res) {
            res.set_redirect("file:///etc/hostname");
        });
        m_port = m_server.bind_to_any_port("127.0.0.1");
        m_thread = std::thread([this] { m_server.listen_after_bind(); });
        while (!m_server.is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ~LoopbackServer() {
        m_server.stop();
        m_thread.join();
    }
    std::string Url(const std::string& path) const {
        return "http://127.0.0.1:" + std::to_string(m_port) + path;
    }

private:
    httplib::Server m_server;
    int m_port = 0;
    std::thread m_thread;
};

std::string TempPath(const char* name) {
    return "/tmp/hy_os_download_" + std::to_string(::getpid()) + "_" + name;
}

TEST(OsDownload, StoresTheWholeBodyAndFollowsRedirects) {
    LoopbackServer server;
    std::string path = TempPath("body");
    long status = 0;
    ASSERT_EQ(HY_OS::DownloadUrlToFile(server.Url("/file"), path, &status), HY_OS::DR_Ok);
    EXPECT_EQ(status, 200);
    std::string content;
    ASSERT_TRUE(HY_OS::ReadWholeFile(path, content));
    EXPECT_EQ(content, std::string("first line\nsecond\0line", 23));

    HY_OS::DeleteFile(path);
    ASSERT_EQ(HY_OS::DownloadUrlToFile(server.Url("/moved"), path), HY_OS::DR_Ok);
    ASSERT_TRUE(HY_OS::ReadWholeFile(path, content));
    EXPECT_EQ(content.size(), 23u);
    HY_OS::DeleteFile(path);
}

TEST(OsDownload, FailuresLeaveNoFileBehind) {
    LoopbackServer server;
    std::string path = TempPath("missing");
    HY_OS::DeleteFile(path);
    long status = 0;
    EXPECT_EQ(HY_OS::DownloadUrlToFile(server.Url("/nothing-here"), path, &status),
              HY_OS::DR_HttpStatus);
    EXPECT_EQ(status, 404);
    EXPECT_FALSE(HY_OS::FileExists(path));

    // An earlier file of that name stays untouched when a new download fails.
    ASSERT_TRUE(HY_OS::WriteFileAtomic(path, "old"));
    EXPECT_EQ(HY_OS::DownloadUrlToFile(server.Url("/nothing-here"), path), HY_OS::DR_HttpStatus);
    std::string content;
    ASSERT_TRUE(HY_OS::ReadWholeFile(path, content));
    EXPECT_EQ(content, "old");
    HY_OS::DeleteFile(path);

    // Nobody listens on the port of a stopped server.
    std::string deadUrl;
    {
        LoopbackServer gone;
        deadUrl = gone.Url("/file");
    }
    EXPECT_EQ(HY_OS::DownloadUrlToFile(deadUrl, path), HY_OS::DR_Transfer);
    EXPECT_FALSE(HY_OS::FileExists(path));

    EXPECT_EQ(HY_OS::DownloadUrlToFile(server.Url("/file"), "/nonexistent-dir/x/file"),
              HY_OS::DR_File);

    EXPECT_EQ(HY_OS::DownloadUrlToFile(server.Url("/file"), path, nullptr, 22), HY_OS::DR_TooLarge);
    EXPECT_FALSE(HY_OS::FileExists(path));
    EXPECT_EQ(HY_OS::DownloadUrlToFile(server.Url("/file"), path, nullptr, 23), HY_OS::DR_Ok);
    HY_OS::DeleteFile(path);
}

TEST(OsDownload, FetchesOnlyHttpAddresses) {
    LoopbackServer server;
    std::string path = TempPath("scheme");
    EXPECT_EQ(HY_OS::DownloadUrlToFile("file:///etc/hostname", path), HY_OS::DR_BadUrl);
    EXPECT_EQ(HY_OS::DownloadUrlToFile("", path), HY_OS::DR_BadUrl);
    EXPECT_EQ(HY_OS::DownloadUrlToFile("http://", path), HY_OS::DR_BadUrl);
    EXPECT_NE(HY_OS::DownloadUrlToFile(server.Url("/to-local-file"), path), HY_OS::DR_Ok);
    EXPECT_FALSE(HY_OS::FileExists(path));
}

}  // namespace

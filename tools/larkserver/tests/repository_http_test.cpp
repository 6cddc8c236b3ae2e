// The repository over HTTP: the launcher's own download engines fetch a whole file, a gzip file
// and a WAD update from it; ranges and keep-alive work on one connection; paths that try to leave
// the repository are refused while the repository's own files are served; a list reply leads to
// the list and every file of a package, as a patch run follows it.
#include <gtest/gtest.h>
#include <limits.h>
#include <netinet/in.h>
#include <stdlib.h>
#include <unistd.h>

#include "DMLDatabase.h"
#include "FileBinary.h"
#include "FileRequest.h"
#include "FileXML.h"
#include "HYInetAddress.h"
#include "OsEnv.h"
#include "OsFile.h"
#include "PatchServer.h"
#include "RepositoryHttpServer.h"
#include "WadWriter.h"
#include "WorkerPump.h"
#include "http_test_support.h"
#include "patch_test_support.h"
#include "test_http_server.h"

namespace {

using namespace patchtest;

struct RepositoryHttp : ::testing::Test {
    void SetUp() override {
        KeepLoopbackOffProxies();
        ASSERT_TRUE(server.Start("127.0.0.1", 0));
    }
    std::string Url(const std::string& path) const {
        return "http://127.0.0.1:" + std::to_string(server.Port()) + "/" + path;
    }

    PublishedRepository repository;
    RepositoryHttpServer server{repository.repo};
    TempDir install;
};

TEST_F(RepositoryHttp, TheDownloadEnginesFetchAWholeFileAGzipFileAndAWadUpdate) {
    // An installed archive one element older than the published one.
    WadWriter older;
    for (int i = 0; i < 8; ++i)
        older.Add("element" + std::to_string(i), std::string(6000, 'o'), false);
    std::string installed;
    older.Build(installed);
    WriteFile(install / "Root.wad", installed);

    const larkpublish::PublishedFile& exe = repository.File("Game.exe");
    const larkpublish::PublishedFile& text = repository.File("Data/Text.txt");
    const larkpublish::PublishedFile& wad = repository.File("Data/Root.wad");
    RecordingClient client;
    client.Download(Url(exe.srcFileName), install / "Game.exe", DT_WholeFile, exe.size, exe.crc);
    client.Download(Url(text.srcFileName + ".gz"), install / "Text.txt", DT_Compressed, text.size,
                    text.crc, text.headerSize);
    client.Download(Url(wad.srcFileName), install / "Root.wad", DT_WadArchive, wad.size, wad.crc,
                    wad.headerSize, wad.compressedHeaderSize, wad.headerCrc);
    ASSERT_TRUE(client.RunUntilAllProcessed());
    EXPECT_EQ(client.Count("downloaded"), 3u);
    EXPECT_EQ(client.Count("failed"), 0u);
    EXPECT_EQ(ReadFile(install / "Game.exe"), repository.build["Game.exe"]);
    EXPECT_EQ(ReadFile(install / "Text.txt"), repository.build["Data/Text.txt"]);
    EXPECT_EQ(ReadFile(install / "Root.wad"), repository.build["Data/Root.wad"]);
    // The gzip file crossed the network compressed.
    const Notification* gz = nullptr;
    for (const Notification& note : client.m_notes)
        if (note.what == "downloaded" && note.localPath == install / "Text.txt") gz = &note;
    ASSERT_NE(gz, nullptr);
    EXPECT_EQ(gz->bytesTransferred, text.headerSize);
    EXPECT_LT(text.headerSize, text.size / 10);

    // The list the patch server names loads from what the server sends.
    client.Download(Url("lists/1/LatestFileList.xml"), install / "LatestFileList.xml", DT_WholeFile,
                    0, 0);
    ASSERT_TRUE(client.RunUntilAllProcessed());
    DMLDatabase list("LatestFileList");
    list.SetStorage(std::make_unique<FileXML>(install / "LatestFileList"));
    ASSERT_TRUE(list.Load());
    ASSERT_NE(list.FindTable("Base"), nullptr);
    EXPECT_EQ(list.FindTable("Base")->RecordCount(), 3u);
    EXPECT_GE(server.FilesServed(), 4u);
}

TEST_F(RepositoryHttp, RangesAndKeepAliveOnOneConnection) {
    const larkpublish::PublishedFile& exe = repository.File("Game.exe");
    const std::string& content = repository.build["Game.exe"];
    std::string path = "/" + exe.srcFileName;
    RawHttp http(server.Port());
    ASSERT_TRUE(http.IsOpen());
    std::string body, headers;
    EXPECT_EQ(http.Exchange("GET " + path + " HTTP/1.1\r\nHost: x\r\nRange: bytes=10-19\r\n\r\n",
                            &body, &headers),
              206);
    EXPECT_EQ(body, content.substr(10, 10));
    EXPECT_NE(headers.find("Content-Range: bytes 10-19/" + std::to_string(content.size())),
              std::string::npos)
        << headers;
    EXPECT_EQ(http.Exchange("GET " + path + " HTTP/1.1\r\nHost: x\r\nRange: bytes=149990-\r\n\r\n",
                            &body),
              206);
    EXPECT_EQ(body, content.substr(149990));
    // A range ending past the file is cut to it; a suffix range takes the last bytes.
    EXPECT_EQ(
        http.Exchange("GET " + path + " HTTP/1.1\r\nHost: x\r\nRange: bytes=149995-999999\r\n\r\n",
                      &body),
        206);
    EXPECT_EQ(body, content.substr(149995));
    EXPECT_EQ(
        http.Exchange("GET " + path + " HTTP/1.1\r\nHost: x\r\nRange: bytes=-3\r\n\r\n", &body),
        206);
    EXPECT_EQ(body, content.substr(content.size() - 3));
    EXPECT_EQ(http.Exchange("HEAD " + path + " HTTP/1.1\r\nHost: x\r\n\r\n", nullptr, &headers),
              200);
    EXPECT_NE(headers.find("Content-Length: " + std::to_string(content.size())), std::string::npos)
        << headers;
    EXPECT_EQ(http.Exchange("GET " + path + " HTTP/1.1\r\nHost: x\r\n\r\n", &body), 200);
    EXPECT_EQ(body, content);
    EXPECT_EQ(
        http.Exchange("GET " + path + " HTTP/1.1\r\nHost: x\r\nRange: bytes=900000-900010\r\n\r\n",
                      &body, &headers),
        416);
    EXPECT_NE(headers.find("Content-Range: bytes */" + std::to_string(content.size())),
              std::string::npos)
        << headers;
    // An error answer to a ranged request is whole.
    EXPECT_EQ(
        http.Exchange("GET /missing HTTP/1.1\r\nHost: x\r\nRange: bytes=100-200\r\n\r\n", &body),
        404);
    EXPECT_EQ(body, "Not Found\n");
    // Still the same connection after every answer above.
    EXPECT_EQ(http.Exchange("GET /repository.txt HTTP/1.1\r\nHost: x\r\n\r\n", &body), 200);
    EXPECT_NE(body.find("version 1"), std::string::npos);
}

TEST_F(RepositoryHttp, PathsLeavingTheRepositoryAreRefused) {
    WriteFile(repository.dir / "secret.txt", "outside");
    ASSERT_EQ(
        ::symlink((repository.dir / "secret.txt").c_str(), repository.Path("link.txt").c_str()), 0);
    ASSERT_EQ(::symlink(repository.dir.Path().c_str(), repository.Path("up").c_str()), 0);
    for (const char* path :
         {"/../secret.txt", "/%2e%2e/secret.txt", "/lists/..%2f..%2f..%2fsecret.txt",
          "/files/../../secret.txt", "/link.txt", "/up/secret.txt", "/lists//1",
          "/./repository.txt", "/lists\\..\\..\\secret.txt", "/a%00b"}) {
        RawHttp http(server.Port());
        std::string body;
        EXPECT_EQ(http.Exchange(std::string("GET ") + path + " HTTP/1.1\r\nHost: x\r\n\r\n", &body),
                  403)
            << path;
        EXPECT_EQ(body.find("outside"), std::string::npos) << path;
    }
    EXPECT_EQ(server.Refused(), 10u);
    // Every path of one to three parts from these pieces names a file below the repository or
    // nothing at all.
    const char* pieces[] = {"..",    ".",        "",
                            "up",    "link.txt", "repository.txt",
                            "lists", "1",        "LatestFileList.xml",
                            "a\\b",  "%2e%2e",   "secret.txt"};
    char real[PATH_MAX];
    ASSERT_NE(::realpath(repository.repo.c_str(), real), nullptr);
    size_t resolved = 0;
    for (int parts = 1; parts <= 3; ++parts) {
        int count = 1;
        for (int i = 0; i < parts; ++i) count *= 12;
        for (int combination = 0; combination < count; ++combination) {
            std::string path;
            for (int part = 0, rest = combination; part < parts; ++part, rest /= 12)
                path += std::string("/") + pieces[rest % 12];
            bool refused = false;
            std::string file = server.Resolve(path, refused);
            if (file.empty()) continue;
            ++resolved;
            EXPECT_EQ(file.rfind(std::string(real) + "/", 0), 0u) << path << " -> " << file;
        }
    }
    EXPECT_EQ(resolved, 2u);  // /repository.txt and /lists/1/LatestFileList.xml
    RawHttp http(server.Port());
    EXPECT_EQ(http.Exchange("GET /no/such/file HTTP/1.1\r\nHost: x\r\n\r\n"), 404);
    EXPECT_EQ(http.Exchange("GET /lists HTTP/1.1\r\nHost: x\r\n\r\n"), 404);
    std::string body;
    EXPECT_EQ(http.Exchange("GET /repository.txt HTTP/1.1\r\nHost: x\r\n\r\n", &body), 200);
    EXPECT_EQ(body, ReadFile(repository.Path("repository.txt")));

    // A request that is not HTTP at all gets an error answer, and the server goes on.
    RawHttp garbage(server.Port());
    EXPECT_EQ(garbage.Exchange("\x01\x02 nonsense\r\n\r\n"), 400);
    RawHttp after(server.Port());
    EXPECT_EQ(after.Exchange("GET /repository.txt HTTP/1.1\r\nHost: x\r\n\r\n"), 200);
}

}  // namespace

namespace {

// The download type the launcher hands its HTTP client for a file type of the list.
uint32_t DownloadTypeOf(uint32_t fileType) {
    switch (fileType) {
        case 3:
            return DT_WadArchive;
        case 4:
            return DT_Compressed;
        case 5:
            return DT_DynamicWadArchive;
        default:
            return DT_WholeFile;
    }
}

TEST(PatchRun, AListReplyLeadsToTheListAndEveryFileOfThePackage) {
    PublishedRepository repository;
    repository.options.listType = 2;  // the binary form this time
    ASSERT_EQ(repository.Publish().version, 1u);
    RepositoryHttpServer http(repository.repo);
    ASSERT_TRUE(http.Start("127.0.0.1", 0));
    std::string base = "http://127.0.0.1:" + std::to_string(http.Port());
    TempDir install;
    HY_OS::SetEnv("HY_HOSTNAME", "localhost");
    hytest::RunOnWorker([&] {
        PatchServer server(repository.repo, base, "?build=1");
        std::string error;
        ASSERT_TRUE(server.LoadRepository(error)) << error;
        ASSERT_EQ(server.Listen(HYInetAddress(INADDR_LOOPBACK, 0)), 0);
        ListClient ask("English");
        ASSERT_TRUE(ask.Ask(server.Port()) && ask.reply);
        const DMLRecord& reply = *ask.reply;
        ASSERT_EQ(reply.FindField("ListFileType")->GetUInt(), 2u);

        // The list, checked against the size and CRC of the reply, as the patcher fetches it.
        std::string name = reply.FindField("ListFileName")->ToStr();
        RecordingClient client;
        client.Download(reply.FindField("ListFileURL")->ToStr(), install / name, DT_WholeFile,
                        reply.FindField("ListFileSize")->GetUInt(),
                        reply.FindField("ListFileCRC")->GetUInt());
        ASSERT_TRUE(client.RunUntilAllProcessed());
        ASSERT_EQ(client.Count("downloaded"), 1u);
        DMLDatabase list("LatestFileList");
        list.SetStorage(std::make_unique<FileBinary>(install / name.substr(0, name.rfind('.'))));
        ASSERT_TRUE(list.Load());
        EXPECT_EQ(list.FindTable("About")->RecordAt(0)->FindField("Version")->GetUInt(),
                  reply.FindField("LatestVersion")->GetUInt());

        // Every file of the package, by the URL rule of the patcher.
        DMLTable* base = list.FindTable("Base");
        ASSERT_NE(base, nullptr);
        for (size_t i = 0; i < base->RecordCount(); ++i) {
            const DMLRecord& r = *base->RecordAt(i);
            uint32_t type = r.FindField("FileType")->GetUInt();
            std::string url = reply.FindField("URLPrefix")->ToStr() + "/" +
                              r.FindField("SrcFileName")->ToStr() + (type == 4 ? ".gz" : "") +
                              reply.FindField("URLSuffix")->ToStr();
            client.Download(url, install / r.FindField("TarFileName")->ToStr(),
                            DownloadTypeOf(type), r.FindField("Size")->GetUInt(),
                            r.FindField("CRC")->GetUInt(), r.FindField("HeaderSize")->GetUInt(),
                            r.FindField("CompressedHeaderSize")->GetUInt(),
                            r.FindField("HeaderCRC")->GetUInt());
        }
        ASSERT_TRUE(client.RunUntilAllProcessed());
        EXPECT_EQ(client.Count("downloaded"), 4u);
        EXPECT_EQ(client.Count("failed"), 0u);
    });
    for (const auto& [path, content] : repository.build)
        EXPECT_EQ(ReadFile(install / path), content) << path;
}

}  // namespace

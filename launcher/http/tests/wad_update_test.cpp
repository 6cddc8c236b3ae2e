#include "WadDownloadEngine.h"

#include <gtest/gtest.h>

#include <map>

#include "WadFile.h"
#include "datalayer_test_support.h"
#include "http_test_support.h"
#include "test_http_server.h"
#include "wad_test_support.h"

namespace {

std::map<std::string, std::string> Elements(int count, size_t size, uint32_t seed) {
    std::map<std::string, std::string> elements;
    for (int i = 0; i < count; ++i) {
        std::string name = std::string("elem") + static_cast<char>('a' + i);
        elements[name] = RandomBytes(size + static_cast<size_t>(i), seed + static_cast<uint32_t>(i));
    }
    return elements;
}

class WadUpdateTest : public ::testing::Test {
protected:
    void Serve(const PublishedWad& wad) {
        server.SetFile("/game/data.wad", wad.archive);
        server.SetFile("/game/data.wad.hdr.gz", wad.headerGz);
    }
    void Update(const PublishedWad& wad, uint32_t type, bool validate = false) {
        client.Download(server.Url("/game/data.wad"), local, type, wad.info.archiveSize,
                        wad.info.archiveCrc, wad.info.headerSize, wad.info.compressedHeaderSize,
                        wad.info.headerCrc, false, validate);
    }
    std::string Work() { return work.Path(); }

    LogCapture log;
    TestHttpServer server;
    TempDir dir;
    TempDir work;
    RecordingClient client;
    std::string local = dir / "data.wad";
};

TEST_F(WadUpdateTest, ChangedNeighboursShareOneRangeAndUnchangedElementsAreCopied) {
    auto oldElements = Elements(10, 3000, 10);
    PublishedWad installed = PublishWad(oldElements, Work());
    auto newElements = oldElements;
    newElements["elemc"] = RandomBytes(3500, 900);   // grows
    newElements["elemd"] = RandomBytes(3003, 901);   // same size, new content
    newElements["elemg"] = RandomBytes(100, 902);    // shrinks
    PublishedWad published = PublishWad(newElements, Work());
    WriteFile(local, installed.archive);
    Serve(published);

    Update(published, DT_WadArchive);
    ASSERT_TRUE(client.RunUntilAllProcessed());
    ASSERT_EQ(client.Count("downloaded"), 1u) << (client.Last("failed") ? client.Last("failed")->failure : 0);
    EXPECT_EQ(ReadFile(local), published.archive);
    EXPECT_FALSE(Exists(local + ".tmp"));
    EXPECT_FALSE(Exists(local + ".hdr.gz"));

    ElementPlace c = PlaceOf(published, "elemc", Work());
    ElementPlace d = PlaceOf(published, "elemd", Work());
    ElementPlace g = PlaceOf(published, "elemg", Work());
    auto ranges = server.Ranges();
    ASSERT_EQ(ranges.size(), 2u);
    EXPECT_EQ(ranges[0].first, c.position);
    EXPECT_EQ(ranges[0].last - ranges[0].first + 1, c.packedSize + d.packedSize);
    EXPECT_EQ(ranges[1].first, g.position);
    EXPECT_EQ(ranges[1].last - ranges[1].first + 1, g.packedSize);
    // The header and both ranges over one keep-alive connection.
    EXPECT_EQ(server.RequestCount("/game/data.wad.hdr.gz"), 1u);
    EXPECT_EQ(server.RequestCount("/game/data.wad"), 2u);
    EXPECT_EQ(server.ConnectionCount(), 1u);
    const Notification* done = client.Last("downloaded");
    EXPECT_EQ(done->bytesTransferred, published.info.compressedHeaderSize + c.packedSize + d.packedSize + g.packedSize);
    EXPECT_TRUE(log->Contains("Requesting Wad Header URL: " + server.Url("/game/data.wad.hdr.gz") + ", " +
                              std::string(10 - std::to_string(published.info.compressedHeaderSize).size(), ' ') +
                              std::to_string(published.info.compressedHeaderSize) + " bytes"));
}

TEST_F(WadUpdateTest, CompressedElementsAreCopiedAndFetchedAsStored) {
    auto oldElements = Elements(6, 20000, 20);
    PublishedWad installed = PublishWad(oldElements, Work(), true);
    auto newElements = oldElements;
    newElements["elemb"] = std::string(30000, 'z');
    PublishedWad published = PublishWad(newElements, Work(), true);
    WriteFile(local, installed.archive);
    Serve(published);
    Update(published, DT_WadArchive);
    ASSERT_TRUE(client.RunUntilAllProcessed());
    ASSERT_EQ(client.Count("downloaded"), 1u);
    EXPECT_EQ(ReadFile(local), published.archive);
    ASSERT_EQ(server.Ranges().size(), 1u);
    EXPECT_EQ(server.Ranges()[0].last - server.Ranges()[0].first + 1,
              PlaceOf(published, "elemb", Work()).packedSize);
}

TEST_F(WadUpdateTest, InterruptedUpdateResumesWithoutFetchingWhatIsAlreadyInPlace) {
    auto oldElements = Elements(8, 50000, 30);
    PublishedWad installed = PublishWad(oldElements, Work());
    auto newElements = oldElements;
    for (char c = 'b'; c <= 'h'; ++c) newElements[std::string("elem") + c] = RandomBytes(50000, 700 + c);
    PublishedWad published = PublishWad(newElements, Work());
    WriteFile(local, installed.archive);
    Serve(published);
    // Two whole blocks of the range arrive, then the connection drops.
    TestHttpServer::Fault fault;
    fault.dropRangeAfter = 2 * 131070 + 1000;
    fault.dropRangeTimes = 1;
    server.SetFault("/game/data.wad", fault);
    bool installedIntact = false;
    client.m_onFailure = [&] { installedIntact = ReadFile(local) == installed.archive; };
    client.m_answers = {RA_Retry};

    Update(published, DT_WadArchive);
    ASSERT_TRUE(client.RunUntilAllProcessed());
    ASSERT_EQ(client.Count("failed"), 1u);
    EXPECT_EQ(client.Last("failed")->failure, DF_TransferFailed);
    EXPECT_TRUE(installedIntact);
    ASSERT_EQ(client.Count("downloaded"), 1u);
    EXPECT_EQ(ReadFile(local), published.archive);

    // The first 262140 bytes of the range held elements b to f whole; the resumed attempt asks
    // only for g and h.
    ElementPlace b = PlaceOf(published, "elemb", Work());
    ElementPlace g = PlaceOf(published, "elemg", Work());
    ElementPlace h = PlaceOf(published, "elemh", Work());
    auto ranges = server.Ranges();
    ASSERT_EQ(ranges.size(), 2u);
    EXPECT_EQ(ranges[0].first, b.position);
    EXPECT_EQ(ranges[1].first, g.position);
    EXPECT_EQ(ranges[1].last + 1, h.position + h.packedSize);
}

TEST_F(WadUpdateTest, DynamicUpdateWritesZerosForChangedElementsAndListsTheRealOnes) {
    auto oldElements = Elements(6, 12000, 40);
    PublishedWad installed = PublishWad(oldElements, Work());
    auto newElements = oldElements;
    newElements["elemb"] = RandomBytes(9000, 800);
    newElements["elemc"] = RandomBytes(12002, 801);
    PublishedWad published = PublishWad(newElements, Work());
    WriteFile(local, installed.archive);
    Serve(published);
    Update(published, DT_DynamicWadArchive);
    ASSERT_TRUE(client.RunUntilAllProcessed());
    ASSERT_EQ(client.Count("downloaded"), 1u);
    EXPECT_TRUE(server.Ranges().empty());

    std::string result = ReadFile(local);
    ASSERT_EQ(result.size(), published.archive.size());
    ElementPlace b = PlaceOf(published, "elemb", Work());
    EXPECT_EQ(result.substr(b.position, b.packedSize), std::string(b.packedSize, '\0'));
    ElementPlace a = PlaceOf(published, "elema", Work());
    EXPECT_EQ(result.substr(a.position, a.packedSize), newElements["elema"]);
    EXPECT_EQ(HY_OS::FileLength(local + ".utd"), 4 * 16);

    WadFile wad(local);
    ASSERT_TRUE(wad.Open());
    EXPECT_TRUE(wad.UtdRead());
    EXPECT_TRUE(wad.FindElement("elemb")->IsStale());
    EXPECT_TRUE(wad.FindElement("elemc")->IsStale());
    EXPECT_FALSE(wad.FindElement("elema")->IsStale());
    EXPECT_FALSE(wad.FindElement("elemf")->IsStale());
}

TEST_F(WadUpdateTest, DynamicUpdateWithoutALocalArchiveWritesEveryElementEmpty) {
    PublishedWad published = PublishWad(Elements(5, 4000, 50), Work());
    Serve(published);
    Update(published, DT_DynamicWadArchive);
    ASSERT_TRUE(client.RunUntilAllProcessed());
    ASSERT_EQ(client.Count("downloaded"), 1u);
    std::string result = ReadFile(local);
    ASSERT_EQ(result.size(), published.archive.size());
    EXPECT_EQ(result.substr(0, published.info.headerSize), published.archive.substr(0, published.info.headerSize));
    EXPECT_EQ(result.substr(published.info.headerSize),
              std::string(published.archive.size() - published.info.headerSize, '\0'));
    EXPECT_TRUE(Exists(local + ".utd"));
    EXPECT_EQ(HY_OS::FileLength(local + ".utd"), 0);
    EXPECT_EQ(server.Ranges().size(), 0u);
}

TEST_F(WadUpdateTest, ValidationRewritesTheListWithTheElementsThatHoldRealData) {
    auto elements = Elements(5, 6000, 60);
    PublishedWad published = PublishWad(elements, Work());
    std::string damaged = published.archive;
    ElementPlace c = PlaceOf(published, "elemc", Work());
    damaged[c.position + 10] ^= 0x55;  // the header and length stay right
    WriteFile(local, damaged);
    Serve(published);
    Update(published, DT_DynamicWadArchive, true);
    ASSERT_TRUE(client.RunUntilAllProcessed());
    ASSERT_EQ(client.Count("downloaded"), 1u);
    EXPECT_EQ(server.RequestCount(), 0u);
    EXPECT_EQ(ReadFile(local), damaged);
    EXPECT_EQ(HY_OS::FileLength(local + ".utd"), 4 * 16);
    EXPECT_FALSE(Exists(local + ".utd.tmp"));
    WadFile wad(local);
    ASSERT_TRUE(wad.Open());
    EXPECT_TRUE(wad.FindElement("elemc")->IsStale());
    EXPECT_FALSE(wad.FindElement("elemd")->IsStale());
}

TEST_F(WadUpdateTest, ZeroCompressedHeaderSizeFailsBeforeAnyHeaderRequest) {
    PublishedWad installed = PublishWad(Elements(4, 5000, 70), Work());
    WriteFile(local, installed.archive);
    Serve(installed);
    client.Download(server.Url("/game/data.wad"), local, DT_WadArchive, installed.info.archiveSize,
                    installed.info.archiveCrc + 1, installed.info.headerSize, 0, installed.info.headerCrc);
    ASSERT_TRUE(client.RunUntilAllProcessed());
    ASSERT_NE(client.Last("failed"), nullptr);
    EXPECT_EQ(client.Last("failed")->failure, DF_TransferFailed);
    EXPECT_TRUE(log->Contains("RequestWadHeader failed - 0 header size (" + local + ")"));
    EXPECT_EQ(server.RequestCount(), 0u);
}

TEST_F(WadUpdateTest, LyingServersNeverReplaceTheInstalledArchive) {
    auto oldElements = Elements(6, 4000, 80);
    PublishedWad installed = PublishWad(oldElements, Work());
    auto newElements = oldElements;
    newElements["elemd"] = RandomBytes(4003, 990);
    PublishedWad published = PublishWad(newElements, Work());
    WriteFile(local, installed.archive);

    // A body that does not match its header: the whole-file CRC catches it.
    std::string wrongBody = published.archive;
    ElementPlace d = PlaceOf(published, "elemd", Work());
    wrongBody[d.position] ^= 1;
    server.SetFile("/game/data.wad", wrongBody);
    server.SetFile("/game/data.wad.hdr.gz", published.headerGz);
    Update(published, DT_WadArchive);
    ASSERT_TRUE(client.RunUntilAllProcessed());
    ASSERT_NE(client.Last("failed"), nullptr);
    EXPECT_EQ(client.Last("failed")->failure, DF_VerifyFailed);
    EXPECT_TRUE(log->Contains("Downloaded WAD file's CRC not matching the original's"));
    EXPECT_EQ(ReadFile(local), installed.archive);

    // A server that ignores ranges would hand over the start of the file as the element.
    server.SetFile("/game/data.wad", published.archive);
    TestHttpServer::Fault ignore;
    ignore.ignoreRanges = true;
    server.SetFault("/game/data.wad", ignore);
    Update(published, DT_WadArchive);
    ASSERT_TRUE(client.RunUntilAllProcessed());
    EXPECT_EQ(client.Last("failed")->failure, DF_TransferFailed);
    EXPECT_TRUE(LogHas(*log, "Server did not answer the range"));
    EXPECT_EQ(ReadFile(local), installed.archive);

    // A header that unpacks to another size than announced.
    server.SetFault("/game/data.wad", {});
    server.SetFile("/game/data.wad.hdr.gz", Gzip(std::string(published.info.headerSize + 500, 'h')));
    Update(published, DT_WadArchive);
    ASSERT_TRUE(client.RunUntilAllProcessed());
    EXPECT_EQ(client.Last("failed")->failure, DF_TransferFailed);
    EXPECT_EQ(ReadFile(local), installed.archive);
    EXPECT_EQ(client.Count("downloaded"), 0u);
}

TEST_F(WadUpdateTest, SmallArchiveIsDownloadedWhole) {
    PublishedWad installed = PublishWad(Elements(2, 1000, 90), Work());
    auto changed = Elements(2, 1000, 91);
    PublishedWad published = PublishWad(changed, Work());
    ASSERT_LE(published.info.archiveSize, 10240u);
    WriteFile(local, installed.archive);
    Serve(published);
    Update(published, DT_WadArchive);
    ASSERT_TRUE(client.RunUntilAllProcessed());
    ASSERT_EQ(client.Count("downloaded"), 1u);
    EXPECT_EQ(ReadFile(local), published.archive);
    EXPECT_TRUE(log->Contains("DownloadEngine::OpenUrl (" + server.Url("/game/data.wad") + ")."));
    EXPECT_EQ(server.RequestCount("/game/data.wad.hdr.gz"), 0u);
}

}  // namespace

// The lead copy's directory and file copy: what is copied and skipped, the retries for a file
// held by another process, and the error numbers of failed copies.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include <gtest/gtest.h>

#include "FileCopyCalls.h"
#include "LogCapture.h"
#include "OsFile.h"
#include "OsSysCalls.h"
#include "PatchClient.h"
#include "TempDir.h"
#include "WorkerPump.h"

namespace {

using hytest::ScopedLogCapture;
using hytest::TempDir;

void Write(const std::string& path, const std::string& content, int64_t timeMs) {
    HY_OS::CreateDirectories(HY_OS::DirectoryPart(path));
    ASSERT_TRUE(HY_OS::WriteFileAtomic(path, content));
    ASSERT_TRUE(HY_OS::SetLastWriteTimeMs(path, timeMs));
}

std::string Read(const std::string& path) {
    std::string text;
    HY_OS::ReadWholeFile(path, text);
    return text;
}

// Makes the first `held` copies of a file whose name contains `name` fail as if another process
// held it, and counts the pauses.
class HeldFile : public FileCopyCalls {
public:
    HeldFile(std::string name, int held, uint32_t error = 32) : m_name(std::move(name)), m_held(held), m_error(error) {}
    uint32_t CopyFile(const std::string& source, const std::string& target) override {
        if (source.find(m_name) != std::string::npos && attempts++ < m_held) return m_error;
        return FileCopyCalls::CopyFile(source, target);
    }
    void SleepMs(uint32_t ms) override { sleptMs += ms; }
    int attempts = 0;
    uint32_t sleptMs = 0;

private:
    std::string m_name;
    int m_held;
    uint32_t m_error;
};

// A volume whose free space shrinks by what each check sees written.
class FillingDisk : public HY_OS::OsSysCalls {
public:
    explicit FillingDisk(int64_t free) : m_free(free) {}
    int64_t FreeDiskSpace(const std::string&) override {
        int64_t now = m_free;
        m_free -= 100;
        return now;
    }

private:
    int64_t m_free;
};

struct CopyFixture {
    TempDir dir;
    std::string source = dir.Path("src") + "/";
    std::string target = dir.Path("dst") + "/";
};

void OnWorker(const std::function<void(PatchClient&, CopyFixture&)>& body) {
    hytest::RunOnWorker([&] {
        CopyFixture fixture;
        PatchClient client(fixture.dir.Path("game/PatchClient/BankA/LarkLauncher"));
        body(client, fixture);
    });
}

}  // namespace

TEST(CopyDirectory, CopiesNewerFilesAndFoldersKeepsTimesSkipsGzAndCurrentFiles) {
    OnWorker([](PatchClient& client, CopyFixture& f) {
        Write(f.source + "LarkLauncher", "program", 2000000);
        Write(f.source + "Skins/Larkspur.skf", "skin", 2000000);
        Write(f.source + "Skins/Deep/More.txt", "more", 2000000);
        Write(f.source + "update.gz", "compressed", 2000000);
        Write(f.source + "UPDATE.GZ", "upper", 2000000);
        Write(f.source + "LarkLauncher.Log.txt", "this bank's log", 2000000);
        Write(f.source + "LarkLauncher.Log.261209_1540.txt", "an older log", 2000000);
        Write(f.source + "same.txt", "new bytes", 2000000);
        Write(f.target + "same.txt", "old bytes", 2000000);  // same time: left alone
        Write(f.source + "older.txt", "new", 2000000);
        Write(f.target + "older.txt", "old", 1000000);  // older: replaced
        ::chmod((f.source + "LarkLauncher").c_str(), 0755);

        uint32_t code = 99;
        ASSERT_TRUE(client.CopyDirectory(f.source, f.target, code));
        EXPECT_EQ(code, 0u);
        EXPECT_EQ(Read(f.target + "LarkLauncher"), "program");
        EXPECT_EQ(Read(f.target + "Skins/Deep/More.txt"), "more");
        EXPECT_FALSE(HY_OS::FileExists(f.target + "update.gz"));
        EXPECT_FALSE(HY_OS::FileExists(f.target + "LarkLauncher.Log.txt"));
        EXPECT_FALSE(HY_OS::FileExists(f.target + "LarkLauncher.Log.261209_1540.txt"));
        EXPECT_EQ(Read(f.target + "UPDATE.GZ"), "upper");
        EXPECT_EQ(Read(f.target + "same.txt"), "old bytes");
        EXPECT_EQ(Read(f.target + "older.txt"), "new");
        EXPECT_EQ(HY_OS::LastWriteTimeMs(f.target + "LarkLauncher"), 2000000);
        struct stat st {};
        ASSERT_EQ(::stat((f.target + "LarkLauncher").c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0755u);
        EXPECT_FALSE(HY_OS::FileExists(f.target + "LarkLauncher" + kCopyTempSuffix));

        // A temporary file a killed copy left behind is not carried into the other bank.
        Write(f.source + "Left.txt" + kCopyTempSuffix, "half", 2000000);
        ASSERT_TRUE(client.CopyDirectory(f.source, f.target, code));
        EXPECT_FALSE(HY_OS::FileExists(f.target + "Left.txt" + kCopyTempSuffix));
    });
}

TEST(CopyDirectory, HeldFileIsRetriedForTenSecondsWithOneWarning) {
    OnWorker([](PatchClient& client, CopyFixture& f) {
        Write(f.source + "held.dll", "bytes", 2000000);
        HY_OS::CreateDirectories(f.target);
        ScopedLogCapture log;
        {
            HeldFile held("held.dll", 3);
            ScopedFileCopyCalls scoped(held);
            uint32_t code = 0;
            EXPECT_TRUE(client.CopyNewerFile(f.source + "held.dll", f.target + "held.dll", code));
            EXPECT_EQ(held.attempts, 4);
            EXPECT_EQ(held.sleptMs, 3000u);
        }
        EXPECT_EQ(log->CountPrefix("Sharing violation while copying"), 1);
        EXPECT_EQ(Read(f.target + "held.dll"), "bytes");

        HY_OS::DeleteFile(f.target + "held.dll");
        HeldFile forever("held.dll", 100);
        ScopedFileCopyCalls scoped(forever);
        uint32_t code = 0;
        EXPECT_FALSE(client.CopyNewerFile(f.source + "held.dll", f.target + "held.dll", code));
        EXPECT_EQ(code, 32u);
        EXPECT_EQ(forever.attempts, 11);
        EXPECT_EQ(forever.sleptMs, 10000u);
        EXPECT_EQ(log->CountPrefix("Sharing violation while copying"), 2);
        EXPECT_EQ(log->CountPrefix("Fail to copy file: "), 1);
    });
}

TEST(CopyDirectory, FailuresCarryTheSystemErrorAndStopTheCopy) {
    OnWorker([](PatchClient& client, CopyFixture& f) {
        Write(f.source + "a.txt", std::string(1000, 'a'), 2000000);
        ScopedLogCapture log;
        {
            // Another error than a sharing violation is not retried.
            HeldFile denied("a.txt", 100, 5);
            ScopedFileCopyCalls scoped(denied);
            uint32_t code = 0;
            EXPECT_FALSE(client.CopyDirectory(f.source, f.target, code));
            EXPECT_EQ(code, 5u);
            EXPECT_EQ(denied.attempts, 1);
        }
        {
            // The disk fills: the file is refused before a byte is written.
            FillingDisk disk(500);
            HY_OS::ScopedSysCalls scoped(disk);
            uint32_t code = 0;
            EXPECT_FALSE(client.CopyDirectory(f.source, f.target, code));
            EXPECT_EQ(code, 112u);
            EXPECT_FALSE(HY_OS::FileExists(f.target + "a.txt"));
            EXPECT_FALSE(HY_OS::FileExists(f.target + "a.txt" + kCopyTempSuffix));
        }
        // The same copy goes through with room on the disk.
        uint32_t code = 0;
        EXPECT_TRUE(client.CopyDirectory(f.source, f.target, code));
        EXPECT_EQ(Read(f.target + "a.txt"), std::string(1000, 'a'));

        // A target folder that cannot be made: the code stays 0.
        Write(f.dir.Path("blocker"), "a file", 1000);
        EXPECT_FALSE(client.CopyDirectory(f.source, f.dir.Path("blocker") + "/sub/", code));
        EXPECT_EQ(code, 0u);
        EXPECT_EQ(log->CountPrefix("CopyDirectory: Fail to create directory: "), 1);
        EXPECT_FALSE(client.CopyDirectory(f.dir.Path("missing") + "/", f.target, code));
        EXPECT_EQ(log->Count("CopyDirectory: Invalid handle created on the FindFile operation"), 1);
    });
}

TEST(CopyDirectory, ReadOnlyTargetIsAccessDenied) {
    OnWorker([](PatchClient& client, CopyFixture& f) {
        Write(f.source + "a.txt", "a", 2000000);
        HY_OS::CreateDirectories(f.target);
        ::chmod(f.target.c_str(), 0555);
        uint32_t code = 0;
        if (::geteuid() == 0) {
            // The superuser writes into read-only folders; the answer the system gives everybody
            // else comes through the copy seam then.
            HeldFile denied("a.txt", 100, SystemErrorFromErrno(EACCES));
            ScopedFileCopyCalls scoped(denied);
            EXPECT_FALSE(client.CopyDirectory(f.source, f.target, code));
        } else {
            EXPECT_FALSE(client.CopyDirectory(f.source, f.target, code));
        }
        EXPECT_EQ(code, 5u);
        ::chmod(f.target.c_str(), 0755);
    });
}

#include "HYIODemux.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "IoHandle.h"
#include "SocketPair.h"

namespace {

// A socket end that records what it was told.
class Probe : public IoHandle {
public:
    Probe(std::string name, std::vector<std::string>* log, int fd) : m_name(std::move(name)), m_log(log) {
        SetHandleAndMask(fd, IO_Readable);
    }
    bool IsPlainHandle() const override { return false; }
    int OnReadable() override {
        m_log->push_back(m_name + ":read");
        char buffer[64];
        kaltest::ReadSome(Handle(), buffer, sizeof buffer);
        return readAnswer;
    }
    int OnWritable() override {
        m_log->push_back(m_name + ":write");
        return 1;
    }
    void OnError(int mask) override { m_log->push_back(m_name + ":error" + std::to_string(mask)); }
    int readAnswer = 0;

private:
    std::string m_name;
    std::vector<std::string>* m_log;
};

struct Pair : kaltest::SocketPair {
    Pair() { EXPECT_TRUE(Valid()); }
    void Send() { ASSERT_TRUE(SocketPair::Send()); }
};

TEST(HYIODemux, ReadyHandlersAreDispatchedOnceEachInIndexOrder) {
    auto demux = std::make_shared<HYIODemux>();
    std::vector<std::string> log;
    Pair p1, p2;
    Probe a("a", &log, p1.fds[0]), b("b", &log, p2.fds[0]);
    ASSERT_EQ(a.Attach(demux), 0);
    ASSERT_EQ(b.Attach(demux), 0);
    p2.Send();
    p1.Send();
    EXPECT_EQ(demux->WaitForInput(1000, nullptr), 2);
    EXPECT_EQ(log, (std::vector<std::string>{"a:read", "b:read"}));
    EXPECT_EQ(a.Index(), 0);
    EXPECT_EQ(b.Index(), 1);
    log.clear();
    EXPECT_EQ(demux->WaitForInput(10, nullptr), 0) << "nothing left: a time-out";
    EXPECT_EQ(demux->Repository().LastError(), 121);
}

TEST(HYIODemux, APositiveAnswerStopsThatInterestAndAFailureDetachesOnce) {
    auto demux = std::make_shared<HYIODemux>();
    std::vector<std::string> log;
    Pair p1, p2;
    Probe quiet("quiet", &log, p1.fds[0]), failing("failing", &log, p2.fds[0]);
    quiet.readAnswer = 1;
    failing.readAnswer = -1;
    quiet.Attach(demux);
    failing.Attach(demux);
    p1.Send();
    p2.Send();
    demux->WaitForInput(1000, nullptr);
    EXPECT_EQ(quiet.Mask(), 0);
    EXPECT_FALSE(failing.IsAttached());
    EXPECT_EQ(log, (std::vector<std::string>{"quiet:read", "failing:read", "failing:error1"}));
    log.clear();
    p1.Send();
    p2.Send();
    EXPECT_EQ(demux->WaitForInput(20, nullptr), 0);
    EXPECT_TRUE(log.empty());
}

TEST(HYIODemux, ChangesMarkARebuildAndRepeatsAreRefused) {
    auto demux = std::make_shared<HYIODemux>();
    std::vector<std::string> log;
    Pair p;
    Probe probe("p", &log, p.fds[0]);
    EXPECT_EQ(probe.Attach(demux), 0);
    demux->WaitForInput(0, nullptr);
    EXPECT_FALSE(demux->Repository().RebuildNeeded());
    EXPECT_EQ(probe.SetMask(IO_Readable), -1);
    EXPECT_FALSE(demux->Repository().RebuildNeeded());
    EXPECT_EQ(probe.AddInterest(IO_Writable), 0);
    EXPECT_TRUE(demux->Repository().RebuildNeeded());
    EXPECT_EQ(demux->WaitForInput(1000, nullptr), 1);
    EXPECT_EQ(log, std::vector<std::string>{"p:write"});
    EXPECT_EQ(probe.Mask(), IO_Readable) << "the writable answer was positive";

    IoHandle none;
    EXPECT_EQ(none.Attach(demux), -1) << "a handler without a handle is refused";
}

TEST(HYIODemux, AHandlerWhoseDescriptorWentBadIsDetachedWithEveryBit) {
    auto demux = std::make_shared<HYIODemux>();
    std::vector<std::string> log;
    kaltest::SocketPair pair;
    ASSERT_TRUE(pair.Valid());
    Probe probe("gone", &log, pair.fds[0]);
    probe.Attach(demux);
    demux->WaitForInput(0, nullptr);
    pair.Close(0);
    pair.Close(1);
    // A closed socket signals nothing on Windows; the next rebuild of the wait set finds it bad.
    probe.AddInterest(IO_Writable);
    demux->WaitForInput(1000, nullptr);
    EXPECT_FALSE(probe.IsAttached());
    EXPECT_EQ(log, std::vector<std::string>{"gone:error15"});
}

TEST(HYIODemux, AHandlerLeavingDuringADispatchIsNotCalled) {
    auto demux = std::make_shared<HYIODemux>();
    std::vector<std::string> log;
    Pair p1, p2;
    Probe second("second", &log, p2.fds[0]);
    struct Leaver : Probe {
        using Probe::Probe;
        Probe* other = nullptr;
        int OnReadable() override {
            other->Detach();
            return Probe::OnReadable();
        }
    } first("first", &log, p1.fds[0]);
    first.other = &second;
    first.Attach(demux);
    second.Attach(demux);
    p1.Send();
    p2.Send();
    EXPECT_EQ(demux->WaitForInput(1000, nullptr), 1);
    EXPECT_EQ(log, std::vector<std::string>{"first:read"});
}

}  // namespace

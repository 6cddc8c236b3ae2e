#include "HYStreamFramer.h"

#include <gtest/gtest.h>
#include "SocketTypes.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "FrameCounters.h"
#include "net_test_support.h"

namespace {

// A socket that hands out what the test put in, at most `readChunk` bytes per read, and takes at
// most `room` bytes before it reports itself full.
struct ScriptedSocket {
    std::vector<uint8_t> incoming;
    size_t readAt = 0;
    size_t readChunk = 1 << 20;
    bool failReads = false;
    std::vector<uint8_t> written;
    size_t room = 1 << 30;
    size_t writeChunk = 1 << 30;

    long Read(void* bytes, size_t length) {
        if (failReads) return -1;
        size_t n = std::min({length, readChunk, incoming.size() - readAt});
        std::memcpy(bytes, incoming.data() + readAt, n);
        readAt += n;
        return static_cast<long>(n);
    }
    long Write(const iovec* pieces, int count) {
        size_t budget = std::min(room, writeChunk);
        size_t total = 0;
        for (int i = 0; i < count && total < budget; ++i) {
            size_t n = std::min(pieces[i].iov_len, budget - total);
            const auto* p = static_cast<const uint8_t*>(pieces[i].iov_base);
            written.insert(written.end(), p, p + n);
            total += n;
        }
        room -= total;
        return static_cast<long>(total);
    }
    void Add(std::initializer_list<uint8_t> bytes) { incoming.insert(incoming.end(), bytes); }
    void Add(const std::vector<uint8_t>& bytes) { incoming.insert(incoming.end(), bytes.begin(), bytes.end()); }
};

MsgBufferRef Application(size_t length, uint8_t fill = 0x5A) {
    std::vector<uint8_t> bytes(length, fill);
    for (size_t i = 0; i < length; ++i) bytes[i] = static_cast<uint8_t>(fill + i);
    return MsgBuffer::FromBytes(bytes.data(), static_cast<uint32_t>(length));
}

// Writes `message` through a fresh framer and answers the bytes on the wire.
std::vector<uint8_t> Frame(MsgBufferRef message) {
    HYStreamFramer<ScriptedSocket> framer;
    ScriptedSocket socket;
    framer.StartWrite(std::move(message));
    EXPECT_EQ(framer.WriteCurrent(socket), FWR_Written);
    return socket.written;
}

TEST(HYStreamFramer, TheShortFormEndsWhereBodyPlusEightExceeds0x7FFF) {
    // Body = 4 session header bytes + payload.
    std::vector<uint8_t> shortFrame = Frame(Application(0x7FF7 - 4));
    ASSERT_EQ(shortFrame.size(), 4u + 0x7FF7);
    EXPECT_EQ(shortFrame[0], 0x0D);
    EXPECT_EQ(shortFrame[1], 0xF0);
    EXPECT_EQ(shortFrame[2] | (shortFrame[3] << 8), 0x7FF7);
    EXPECT_EQ(std::vector<uint8_t>(shortFrame.begin() + 4, shortFrame.begin() + 8),
              (std::vector<uint8_t>{0, 0, 0, 0}));

    std::vector<uint8_t> longFrame = Frame(Application(0x7FF8 - 4));
    ASSERT_EQ(longFrame.size(), 8u + 0x7FF8);
    EXPECT_EQ(longFrame[2] | (longFrame[3] << 8), 0x8000);
    EXPECT_EQ(longFrame[4] | (longFrame[5] << 8) | (longFrame[6] << 16) | (longFrame[7] << 24), 0x7FF8);

    MsgBufferRef control = MsgBuffer::FromBytes("\x07\x00", 2);
    control->m_control = 1;
    control->m_msgType = 3;
    EXPECT_EQ(Frame(control), (std::vector<uint8_t>{0x0D, 0xF0, 6, 0, 1, 3, 0, 0, 7, 0}));
}

TEST(HYStreamFramer, FramesReadBackWhateverTheReadSizes) {
    ScriptedSocket wire;
    std::vector<MsgBufferRef> sent = {Application(0), Application(100, 1), Application(0x7FF2, 2),
                                      Application(0x7FF3, 3), Application(200000, 4)};
    for (const auto& m : sent) wire.Add(Frame(m));
    // A frame whose 16-bit length is 0x7FFF is still a short frame.
    std::vector<uint8_t> edge = {0x0D, 0xF0, 0xFF, 0x7F, 0, 0, 0, 0};
    edge.resize(4 + 0x7FFF, 0xEE);
    wire.Add(edge);

    for (size_t chunk : {size_t{1}, size_t{7}, size_t{kStagingSize}}) {
        HYStreamFramer<ScriptedSocket> framer;
        wire.readAt = 0;
        wire.readChunk = chunk;
        uint64_t messagesBefore = ProcessFrameCounters().messagesRead.load();
        std::vector<MsgBufferRef> received;
        // The scripted socket says "nothing now" only at its end, so one call can bring several.
        for (int guard = 0; guard < 100000 && received.size() < sent.size() + 1; ++guard) {
            int result = framer.ReadCurrent(wire);
            ASSERT_NE(result, FRR_Error) << "chunk " << chunk;
            if (result == FRR_Complete) received.push_back(framer.TakeMessage());
        }
        ASSERT_EQ(received.size(), sent.size() + 1) << "chunk " << chunk;
        for (size_t i = 0; i < sent.size(); ++i) {
            ASSERT_EQ(received[i]->Length(), sent[i]->Length()) << i;
            EXPECT_EQ(std::memcmp(received[i]->Data(), sent[i]->Data(), sent[i]->Length()), 0) << i;
            EXPECT_EQ(received[i]->m_control, 0);
        }
        EXPECT_EQ(received.back()->Length(), 0x7FFFu - 4);
        EXPECT_EQ(framer.ReadCurrent(wire), FRR_Incomplete);
        EXPECT_EQ(ProcessFrameCounters().messagesRead.load() - messagesBefore, sent.size() + 1);
    }
}

TEST(HYStreamFramer, AFullSocketLeavesTheRestForTheNextCall) {
    HYStreamFramer<ScriptedSocket> framer;
    ScriptedSocket socket;
    socket.room = 10;
    framer.StartWrite(Application(1000));
    EXPECT_EQ(framer.WriteCurrent(socket), FWR_Blocked);
    EXPECT_EQ(socket.written.size(), 10u);
    EXPECT_TRUE(framer.IsWriting());
    socket.room = 500;
    socket.writeChunk = 37;  // partial writes while there is room
    EXPECT_EQ(framer.WriteCurrent(socket), FWR_Blocked);
    socket.room = 1 << 20;
    EXPECT_EQ(framer.WriteCurrent(socket), FWR_Written);
    EXPECT_FALSE(framer.IsWriting());
    EXPECT_EQ(socket.written, Frame(Application(1000)));
}

struct BadInput {
    const char* name;
    std::vector<uint8_t> bytes;
    int error;
};

TEST(HYStreamFramer, BadFramesEndReadingWithTheirErrorCode) {
    std::vector<BadInput> cases = {
        {"bad magic", {0x0E, 0xF0, 4, 0}, FRE_BadMagic},
        // 67,108,865 = 0x04000001: one byte over the limit; no body bytes follow, none are needed.
        {"too long", {0x0D, 0xF0, 0x00, 0x80, 0x01, 0x00, 0x00, 0x04}, FRE_TooLong},
        {"empty body", {0x0D, 0xF0, 0, 0}, FRE_Rejected},
        {"kind 0 body of 3", {0x0D, 0xF0, 3, 0, 0, 0, 0}, FRE_Rejected},
        {"kind 2 body of 6", {0x0D, 0xF0, 6, 0, 4, 0, 0, 0, 1, 0}, FRE_Rejected},
        {"kind 3", {0x0D, 0xF0, 8, 0, 6, 0, 0, 0, 0, 0, 0, 0}, FRE_Rejected},
    };
    for (const BadInput& c : cases) {
        HYStreamFramer<ScriptedSocket> framer;
        ScriptedSocket socket;
        socket.Add(c.bytes);
        uint64_t badBefore = ProcessFrameCounters().badFrames.load();
        uint64_t bytesBefore = ProcessFrameCounters().badFrameBytes.load();
        EXPECT_EQ(framer.ReadCurrent(socket), FRR_Error) << c.name;
        EXPECT_EQ(framer.ReadError(), c.error) << c.name;
        EXPECT_EQ(ProcessFrameCounters().badFrames.load() - badBefore, 1u) << c.name;
        EXPECT_EQ(ProcessFrameCounters().badFrameBytes.load() - bytesBefore, c.bytes.size()) << c.name;
    }

    HYStreamFramer<ScriptedSocket> framer;
    ScriptedSocket socket;
    socket.failReads = true;
    EXPECT_EQ(framer.ReadCurrent(socket), FRR_Error);
    EXPECT_EQ(framer.ReadError(), FRE_Socket);
}

TEST(HYStreamFramer, TheLargestAcceptedFrameIs64MiB) {
    HYStreamFramer<ScriptedSocket> framer;
    ScriptedSocket socket;
    socket.Add({0x0D, 0xF0, 0x00, 0x80, 0x00, 0x00, 0x00, 0x04, 0, 0, 0, 0});
    EXPECT_EQ(framer.ReadCurrent(socket), FRR_Incomplete) << "waits for the rest of the body";
}

TEST(SessionHeader, KindTwoCarriesTheIdsBothWays) {
    MsgBufferRef message = MsgBuffer::FromBytes("xy", 2);
    message->m_control = 1;
    message->m_msgType = 9;
    message->m_destId = 0x0201;
    message->m_srcId = 0x0403;
    std::vector<uint8_t> wire = Frame(message);
    EXPECT_EQ(std::vector<uint8_t>(wire.begin() + 4, wire.begin() + 12),
              (std::vector<uint8_t>{0x05, 9, 0, 0, 0x01, 0x02, 0x03, 0x04}));
    HYStreamFramer<ScriptedSocket> framer;
    ScriptedSocket socket;
    socket.Add(wire);
    ASSERT_EQ(framer.ReadCurrent(socket), FRR_Complete);
    MsgBufferRef back = framer.TakeMessage();
    EXPECT_EQ(back->m_control, 1);
    EXPECT_EQ(back->m_msgType, 9);
    EXPECT_EQ(back->m_destId, 0x0201);
    EXPECT_EQ(back->m_srcId, 0x0403);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(back->Data()), back->Length()), "xy");
}

}  // namespace

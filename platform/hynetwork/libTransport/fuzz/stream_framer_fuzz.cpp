// The frame reader fed a byte stream in arbitrary pieces. Input: one byte choosing the piece
// sizes, then the stream. Every call ends in a message, a wait for more, or a reset after a bad
// frame, and a message never holds more than the stream brought.
#include <sys/uio.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>

#include "FuzzTarget.h"
#include "HYStreamFramer.h"

namespace {

// Hands out the stream in pieces whose sizes cycle by the pattern (no smaller than 1/256 of the
// stream), with a "nothing now" after every piece, as a non-blocking socket does.
struct PieceSocket {
    const uint8_t* bytes = nullptr;
    size_t size = 0;
    size_t at = 0;
    uint8_t pattern = 0;
    unsigned piece = 0;
    bool paused = false;

    long Read(void* out, size_t length) {
        if (paused || at == size) {
            paused = false;
            return 0;
        }
        static constexpr size_t kSizes[] = {1, 2, 3, 7, 64, 1000, 4096, 32768};
        size_t n = kSizes[(pattern >> (3 * (piece++ % 2))) & 7];
        // At most a few hundred pieces per input keep long inputs quick to run.
        n = std::min({std::max(n, size / 256), length, size - at});
        std::memcpy(out, bytes + at, n);
        at += n;
        paused = true;
        return static_cast<long>(n);
    }
    long Write(const iovec*, int) { return -1; }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    PieceSocket socket;
    socket.pattern = data[0];
    socket.bytes = data + 1;
    socket.size = size - 1;
    HYStreamFramer<PieceSocket> framer;
    uint64_t delivered = 0;
    // Each call takes a piece or stops at a pause, so twice the stream length plus a margin
    // bounds the calls a correct reader needs.
    for (size_t calls = 0; calls < 2 * size + 16; ++calls) {
        int result = framer.ReadCurrent(socket);
        if (result == FRR_Complete) {
            MsgBufferRef message = framer.TakeMessage();
            if (!message) std::abort();
            delivered += message->Length();
            if (delivered > socket.at) std::abort();
        } else if (result == FRR_Incomplete && socket.at == socket.size && !framer.HasStagedBytes()) {
            break;
        }
    }
    return 0;
}

std::vector<std::string> HyFuzzSeeds() {
    // Frames written by the framer's own writer: a short and a long application message and a
    // control message.
    struct WireSocket {
        std::string written;
        long Read(void*, size_t) { return -1; }
        long Write(const iovec* pieces, int count) {
            long total = 0;
            for (int i = 0; i < count; ++i) {
                written.append(static_cast<const char*>(pieces[i].iov_base), pieces[i].iov_len);
                total += static_cast<long>(pieces[i].iov_len);
            }
            return total;
        }
    };
    WireSocket wire;
    HYStreamFramer<WireSocket> writer;
    std::string shortBody(100, 's'), longBody(0x8000, 'l');
    MsgBufferRef control = MsgBuffer::FromBytes("\x07\x00", 2);
    control->m_control = 1;
    control->m_msgType = 3;
    for (MsgBufferRef message : {MsgBuffer::FromBytes(shortBody.data(), 100), control,
                                 MsgBuffer::FromBytes(longBody.data(), 0x8000)}) {
        writer.StartWrite(std::move(message));
        while (writer.IsWriting()) writer.WriteCurrent(wire);
    }
    // The long frame comes in large pieces; byte-sized pieces are tried on the short ones.
    size_t shortFrames = wire.written.size() - (0x8000 + 8);
    return {std::string(1, '\x00') + wire.written.substr(0, shortFrames),
            std::string(1, '\x35') + wire.written};
}

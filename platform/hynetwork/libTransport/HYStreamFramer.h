// Cuts a connection's byte stream into frames and writes messages into it. The reader fills one
// message at a time through a 32 KiB staging buffer; the writer sends one message at a time,
// picking the short or the long frame form. Used only by the thread that owns the socket.
//
// `Socket` offers `long Read(void*, size_t)` (> 0 bytes, 0 nothing now, -1 error or closed) and
// `long Write(const iovec*, int)` (>= 0 bytes, -1 error), as HYTcpSocket does.
#pragma once

#include "SocketTypes.h"

#include <cstdint>
#include <cstring>
#include <memory>

#include "FrameCounters.h"
#include "FrameFormat.h"
#include "MsgBuffer.h"
#include "SessionHeader.h"

template <class Socket>
class HYStreamFramer {
public:
    HYStreamFramer() : m_staging(new uint8_t[kStagingSize]) {}

    // Reads what the socket has: FRR_Complete when a message is ready (TakeMessage), else
    // FRR_Incomplete, or FRR_Error with ReadError() telling why (the reader is reset).
    int ReadCurrent(Socket& socket);
    MsgBufferRef TakeMessage() { return std::move(m_complete); }
    int ReadError() const { return m_readError; }
    // True while bytes already taken from the socket wait in the staging buffer.
    bool HasStagedBytes() const { return m_stagingRead < m_stagingWrite; }
    uint64_t TotalBytesRead() const { return m_totalRead; }

    // Makes `message` the one WriteCurrent sends.
    void StartWrite(MsgBufferRef message);
    bool IsWriting() const { return m_writing != nullptr; }
    // Sends what the socket takes of the current message.
    int WriteCurrent(Socket& socket);

    void ResetReader();
    void ResetWriter() { m_writing.reset(); }

private:
    enum ReaderState { RS_Idle, RS_Header, RS_LongHeader, RS_Body };

    int Fail(int error, bool badFrame);
    // Consumes staged bytes; FRR_Complete, FRR_Incomplete (staging used up) or FRR_Error.
    int Consume();
    int BeginBody(uint32_t length);

    // Reader.
    ReaderState m_state = RS_Idle;
    uint8_t m_header[16] = {};
    uint32_t m_headerHave = 0;
    MsgBufferRef m_filling;
    uint32_t m_missing = 0;
    uint32_t m_frameBytes = 0;
    std::unique_ptr<uint8_t[]> m_staging;
    uint32_t m_stagingRead = 0;
    uint32_t m_stagingWrite = 0;
    uint64_t m_totalRead = 0;
    MsgBufferRef m_complete;
    int m_readError = FRE_None;

    // Writer.
    MsgBufferRef m_writing;
    uint8_t m_writeHeader[16] = {};
    uint32_t m_writeHeaderSize = 0;
    uint64_t m_written = 0;    // bytes of the current message already sent
    uint64_t m_writeTotal = 0;  // frame header, session header and payload
};

template <class Socket>
void HYStreamFramer<Socket>::ResetReader() {
    m_state = RS_Idle;
    m_headerHave = 0;
    m_filling.reset();
    m_missing = 0;
    m_frameBytes = 0;
    m_stagingRead = m_stagingWrite = 0;
}

template <class Socket>
int HYStreamFramer<Socket>::Fail(int error, bool badFrame) {
    if (badFrame) {
        FrameCounters& counters = ProcessFrameCounters();
        counters.badFrames.fetch_add(1, std::memory_order_relaxed);
        counters.badFrameBytes.fetch_add(m_frameBytes, std::memory_order_relaxed);
    }
    m_readError = error;
    ResetReader();
    return FRR_Error;
}

template <class Socket>
int HYStreamFramer<Socket>::ReadCurrent(Socket& socket) {
    m_readError = FRE_None;
    for (;;) {
        if (HasStagedBytes()) {
            int result = Consume();
            if (result != FRR_Incomplete) return result;
        }
        long n = socket.Read(m_staging.get(), kStagingSize);
        if (n < 0) return Fail(FRE_Socket, false);
        if (n == 0) return FRR_Incomplete;
        m_stagingRead = 0;
        m_stagingWrite = static_cast<uint32_t>(n);
        m_totalRead += static_cast<uint64_t>(n);
    }
}

template <class Socket>
int HYStreamFramer<Socket>::BeginBody(uint32_t length) {
    // The announced length is checked before anything is allocated for it.
    if (length > kMaxFrameBody) return Fail(FRE_TooLong, true);
    m_filling = MsgBuffer::Create(length);
    if (!m_filling) {
        LogFrameAllocationFailure(length);
        return Fail(FRE_NoMemory, true);
    }
    m_missing = length;
    m_state = RS_Body;
    return FRR_Incomplete;
}

template <class Socket>
int HYStreamFramer<Socket>::Consume() {
    while (m_stagingRead < m_stagingWrite || (m_state == RS_Body && m_missing == 0)) {
        uint32_t available = m_stagingWrite - m_stagingRead;
        const uint8_t* bytes = m_staging.get() + m_stagingRead;
        if (m_state == RS_Idle) m_state = RS_Header;
        if (m_state == RS_Header || m_state == RS_LongHeader) {
            uint32_t need = (m_state == RS_Header ? 4u : 8u) - m_headerHave;
            uint32_t take = available < need ? available : need;
            std::memcpy(m_header + m_headerHave, bytes, take);
            m_headerHave += take;
            m_stagingRead += take;
            m_frameBytes += take;
            if (take < need) return FRR_Incomplete;
            if (m_state == RS_Header) {
                uint16_t magic = static_cast<uint16_t>(m_header[0] | (m_header[1] << 8));
                if (magic != kFrameMagic) return Fail(FRE_BadMagic, true);
                uint16_t shortLength = static_cast<uint16_t>(m_header[2] | (m_header[3] << 8));
                if (shortLength < kLongFrameMark) {
                    if (int r = BeginBody(shortLength); r != FRR_Incomplete) return r;
                } else {
                    m_state = RS_LongHeader;
                }
            } else {
                uint32_t longLength = uint32_t{m_header[4]} | (uint32_t{m_header[5]} << 8) |
                                      (uint32_t{m_header[6]} << 16) | (uint32_t{m_header[7]} << 24);
                if (int r = BeginBody(longLength); r != FRR_Incomplete) return r;
            }
            continue;
        }
        // RS_Body
        uint32_t take = available < m_missing ? available : m_missing;
        if (take != 0) {
            m_filling->Append(bytes, take);
            m_stagingRead += take;
            m_frameBytes += take;
            m_missing -= take;
        }
        if (m_missing != 0) return FRR_Incomplete;
        MsgBufferRef body = std::move(m_filling);
        if (!CheckSessionHeader(*body)) return Fail(FRE_Rejected, true);
        FrameCounters& counters = ProcessFrameCounters();
        counters.messagesRead.fetch_add(1, std::memory_order_relaxed);
        counters.bytesRead.fetch_add(m_frameBytes, std::memory_order_relaxed);
        m_state = RS_Idle;
        m_headerHave = 0;
        m_frameBytes = 0;
        m_complete = std::move(body);
        return FRR_Complete;
    }
    return FRR_Incomplete;
}

template <class Socket>
void HYStreamFramer<Socket>::StartWrite(MsgBufferRef message) {
    uint8_t sessionHeader[kMaxSessionHeaderSize];
    uint32_t sessionHeaderSize = WriteSessionHeader(*message, sessionHeader);
    uint64_t body = uint64_t{sessionHeaderSize} + message->TotalLength();
    uint8_t* h = m_writeHeader;
    h[0] = static_cast<uint8_t>(kFrameMagic & 0xFF);
    h[1] = static_cast<uint8_t>(kFrameMagic >> 8);
    uint32_t size;
    if (body + 8 > kShortFrameLimit) {
        h[2] = static_cast<uint8_t>(kLongFrameMark & 0xFF);
        h[3] = static_cast<uint8_t>(kLongFrameMark >> 8);
        for (int i = 0; i < 4; ++i) h[4 + i] = static_cast<uint8_t>(body >> (8 * i));
        size = 8;
    } else {
        h[2] = static_cast<uint8_t>(body);
        h[3] = static_cast<uint8_t>(body >> 8);
        size = 4;
    }
    std::memcpy(h + size, sessionHeader, sessionHeaderSize);
    m_writeHeaderSize = size + sessionHeaderSize;
    m_written = 0;
    m_writeTotal = m_writeHeaderSize + message->TotalLength();
    m_writing = std::move(message);
}

template <class Socket>
int HYStreamFramer<Socket>::WriteCurrent(Socket& socket) {
    if (!m_writing) return FWR_Written;
    for (;;) {
        // The pieces still to send: the rest of the headers, then each buffer of the chain.
        iovec pieces[8];
        int count = 0;
        uint64_t skip = m_written;
        if (skip < m_writeHeaderSize) {
            pieces[count++] = {m_writeHeader + skip, m_writeHeaderSize - skip};
            skip = 0;
        } else {
            skip -= m_writeHeaderSize;
        }
        for (MsgBuffer* piece = m_writing.get(); piece != nullptr && count < 8;
             piece = piece->m_pChain.get()) {
            if (skip >= piece->Length()) {
                skip -= piece->Length();
                continue;
            }
            pieces[count++] = {piece->Data() + skip, piece->Length() - skip};
            skip = 0;
        }
        long n = count == 0 ? 0 : socket.Write(pieces, count);
        if (n < 0) {
            m_writing.reset();
            return FWR_Error;
        }
        m_written += static_cast<uint64_t>(n);
        if (m_written >= m_writeTotal) {
            FrameCounters& counters = ProcessFrameCounters();
            counters.messagesWritten.fetch_add(1, std::memory_order_relaxed);
            counters.bytesWritten.fetch_add(m_writeTotal, std::memory_order_relaxed);
            m_writing.reset();
            return FWR_Written;
        }
        if (n == 0) return FWR_Blocked;
        // A partial write: try once more, the socket answers 0 when it is really full.
    }
}

class HYTcpSocket;
// The TCP framer is compiled once, in the library.
extern template class HYStreamFramer<HYTcpSocket>;

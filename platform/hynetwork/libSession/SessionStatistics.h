// Session counters: one set per session and one for the process, bumped together. Atomic, so
// other threads may read them.
#pragma once

#include <atomic>
#include <cstdint>

struct SessionCounters {
    std::atomic<uint64_t> messagesSent{0};
    std::atomic<uint64_t> bytesSent{0};
    std::atomic<uint64_t> messagesReceived{0};
    std::atomic<uint64_t> bytesReceived{0};
    std::atomic<uint64_t> controlHandled{0};
    std::atomic<uint64_t> keepAliveReplies{0};
    std::atomic<uint64_t> keepAliveRttTotal{0};
    std::atomic<uint64_t> keepAliveRttMax{0};
    std::atomic<uint64_t> keepAliveMissed{0};
    std::atomic<uint64_t> sendRefusals{0};
};

SessionCounters& ProcessSessionCounters();

// Bumps a session's counter and the process-wide one.
class SessionStatistics {
public:
    const SessionCounters& Session() const { return m_session; }

    void Add(std::atomic<uint64_t> SessionCounters::*counter, uint64_t amount = 1);
    void KeepMax(std::atomic<uint64_t> SessionCounters::*counter, uint64_t value);

private:
    SessionCounters m_session;
};

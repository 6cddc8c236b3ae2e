#include "LineReader.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>

namespace LarkTerm {

bool LineReader::MoreReady() const {
    pollfd entry{m_descriptor, POLLIN, 0};
    int ready;
    do {
        ready = ::poll(&entry, 1, 0);
    } while (ready < 0 && errno == EINTR);
    return ready > 0;
}

LineReader::Result LineReader::ReadSome(std::string& line) {
    if (m_ended) return RR_End;
    for (;;) {
        char byte;
        ssize_t got = ::read(m_descriptor, &byte, 1);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return RR_NoLine;
        if (got <= 0) {
            m_ended = true;
            if (m_pending.empty()) return RR_End;
            line.swap(m_pending);
            m_pending.clear();
            if (!line.empty() && line.back() == '\r') line.pop_back();
            return RR_Line;
        }
        if (byte == '\n') {
            line.swap(m_pending);
            m_pending.clear();
            if (!line.empty() && line.back() == '\r') line.pop_back();
            return RR_Line;
        }
        if (m_pending.size() < kMaxLine) {
            m_pending += byte;
        } else {
        }
        if (!MoreReady()) return RR_NoLine;
    }
}

}  // namespace LarkTerm

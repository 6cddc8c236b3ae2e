#include "LineReader.h"

#include "Console.h"

namespace LarkTerm {

bool LineReader::MoreReady() const {
    bool ready = false, unused = false;
    Console::WaitResult result;
    do {
        result = Console::WaitForInput(m_descriptor, -1, 0, ready, unused);
    } while (result == Console::WR_Interrupted);
    return ready;
}

LineReader::Result LineReader::ReadSome(std::string& line) {
    if (m_ended) return RR_End;
    for (;;) {
        char byte;
        Console::ReadResult got = Console::ReadByte(m_descriptor, byte);
        if (got == Console::CR_Again) return RR_NoLine;
        if (got == Console::CR_End) {
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

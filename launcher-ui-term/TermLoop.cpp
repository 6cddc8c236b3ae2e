#include "TermLoop.h"

#include <poll.h>

#include <cerrno>

#include "OsTime.h"

namespace LarkTerm {

namespace {

TickWaitSource g_source;

bool HasSource(const TickWaitSource& source) {
    return source.descriptor >= 0 || source.timeoutMs != nullptr;
}

constexpr short kInputEvents = POLLIN | POLLHUP | POLLERR | POLLNVAL;

}  // namespace

void TermLoop::SetWaitSource(const TickWaitSource& source) { g_source = source; }

TickWaitSource TermLoop::WaitSource() { return g_source; }

bool TermLoop::HandleInput() {
    std::string line;
    switch (m_input.ReadSome(line)) {
        case LineReader::RR_Line:
            m_dialog.OnLine(line);
            return true;
        case LineReader::RR_End:
            m_dialog.OnInputEnd();
            return true;
        case LineReader::RR_NoLine:
            break;
    }
    return false;
}

void TermLoop::Run() {
    while (!m_dialog.QuitPosted()) {
        m_dialog.ShowPromptIfNeeded();
        TickWaitSource source = g_source;
        if (HasSource(source)) {
            PassWithSource(source);
        } else {
            Pass();
        }
    }
}

void TermLoop::Pass() {
    pollfd input{m_input.Descriptor(), POLLIN, 0};
    bool open = !m_input.Ended();
    int ready = ::poll(open ? &input : nullptr, open ? 1 : 0, open ? 0 : kClosedInputPauseMs);
    if (ready > 0 && (input.revents & kInputEvents)) HandleInput();
    if (!m_dialog.QuitPosted()) m_tick();
    m_dialog.RedrawIfDue();
}

void TermLoop::PassWithSource(const TickWaitSource& source) {
    int sourceTimeout = source.timeoutMs ? source.timeoutMs(source.context) : -1;
    // The loop also wakes for a held-back redraw of the bars.
    int redraw = m_dialog.RedrawDueInMs();
    int timeout = redraw >= 0 && (sourceTimeout < 0 || redraw < sourceTimeout) ? redraw
                                                                                : sourceTimeout;
    pollfd entries[2];
    nfds_t count = 0;
    int inputIndex = -1, sourceIndex = -1;
    if (!m_input.Ended()) {
        inputIndex = static_cast<int>(count);
        entries[count++] = {m_input.Descriptor(), POLLIN, 0};
    }
    if (source.descriptor >= 0) {
        sourceIndex = static_cast<int>(count);
        entries[count++] = {source.descriptor, POLLIN, 0};
    }
    uint64_t start = HY_OS::GetMonotonicMs();
    int ready = ::poll(count ? entries : nullptr, count, timeout);
    if (ready < 0) {
        // A signal: ask the source again on the next pass.
        return;
    }
    bool typed = inputIndex >= 0 && (entries[inputIndex].revents & kInputEvents) && HandleInput();
    if (m_dialog.QuitPosted()) return;
    m_dialog.RedrawIfDue();
    bool sourceReady =
        sourceIndex >= 0 && (entries[sourceIndex].revents & (POLLIN | POLLHUP | POLLERR | POLLNVAL));
    uint64_t elapsed = HY_OS::GetMonotonicMs() - start;
    bool due = sourceTimeout >= 0 && ((ready == 0 && timeout == sourceTimeout) ||
                                      elapsed >= static_cast<uint64_t>(sourceTimeout));
    if (typed || sourceReady || due) m_tick();
}

}  // namespace LarkTerm

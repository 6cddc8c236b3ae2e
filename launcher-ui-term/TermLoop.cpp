#include "TermLoop.h"

#include "Console.h"
#include "OsTime.h"

namespace LarkTerm {

namespace {

TickWaitSource g_source;

bool HasSource(const TickWaitSource& source) {
    return source.descriptor >= 0 || source.timeoutMs != nullptr;
}

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
    bool open = !m_input.Ended();
    bool inputReady = false, unused = false;
    Console::WaitForInput(open ? m_input.Descriptor() : -1, -1, open ? 0 : kClosedInputPauseMs,
                          inputReady, unused);
    if (inputReady) HandleInput();
    if (!m_dialog.QuitPosted()) m_tick();
    m_dialog.RedrawIfDue();
}

void TermLoop::PassWithSource(const TickWaitSource& source) {
    int sourceTimeout = source.timeoutMs ? source.timeoutMs(source.context) : -1;
    // The loop also wakes for a held-back redraw of the bars.
    int redraw = m_dialog.RedrawDueInMs();
    int timeout = redraw >= 0 && (sourceTimeout < 0 || redraw < sourceTimeout) ? redraw
                                                                                : sourceTimeout;
    bool inputReady = false, sourceReady = false;
    uint64_t start = HY_OS::GetMonotonicMs();
    Console::WaitResult ready =
        Console::WaitForInput(m_input.Ended() ? -1 : m_input.Descriptor(), source.descriptor,
                              timeout, inputReady, sourceReady);
    if (ready == Console::WR_Interrupted) {
        // A signal: ask the source again on the next pass.
        return;
    }
    bool typed = inputReady && HandleInput();
    if (m_dialog.QuitPosted()) return;
    m_dialog.RedrawIfDue();
    uint64_t elapsed = HY_OS::GetMonotonicMs() - start;
    bool due = sourceTimeout >= 0 && ((ready == Console::WR_TimedOut && timeout == sourceTimeout) ||
                                      elapsed >= static_cast<uint64_t>(sourceTimeout));
    if (typed || sourceReady || due) m_tick();
}

}  // namespace LarkTerm

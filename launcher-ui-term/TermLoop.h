// The modal loop of the terminal front-end, on the thread that opened the window. It reads typed
// lines from standard input (one line per pass, so nothing beyond it is taken from the descriptor)
// and sends "Tick" to the launcher:
// - without a wait source, on every pass, as the graphical window's idle message (the launcher
//   sleeps 1 ms per Tick); once standard input has ended a pass waits up to kClosedInputPauseMs;
// - with one, only when its descriptor is ready, when the time it answers has come, or after a
//   typed line; otherwise the loop sleeps in poll(), so an idle prompt costs no processor time.
// It also wakes when a redraw of the bars that was held back is due.
#pragma once

#include "LineReader.h"
#include "TermDialog.h"
#include "WindowLibraryExports.h"

namespace LarkTerm {

class TermLoop {
  public:
    static constexpr int kClosedInputPauseMs = 10;

    TermLoop(TermDialog& dialog, LineReader& input, void (*tick)())
        : m_dialog(dialog), m_input(input), m_tick(tick) {}

    // Runs until the dialog's quit is posted.
    void Run();

    // The wait source used from the next pass on (read at every pass, so the launcher may set it
    // from inside a Tick).
    static void SetWaitSource(const TickWaitSource& source);
    static TickWaitSource WaitSource();

  private:
    // True when a typed line was handled (or input ended).
    bool HandleInput();
    void Pass();
    void PassWithSource(const TickWaitSource& source);

    TermDialog& m_dialog;
    LineReader& m_input;
    void (*m_tick)();
};

}  // namespace LarkTerm

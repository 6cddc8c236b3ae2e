// The two progress bars of the terminal front-end: the file bar (overlay text and percent) and the
// total bar (overlay, percent, and speed and time left worked out from how fast the percent grows,
// since the launcher reports percentages only). On a terminal both are drawn as bars in the status
// area; elsewhere each change is one plain line ("File: ..." or "Total: ...").
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <utility>

#include "TermOutput.h"

namespace LarkTerm {

// Percent per second over the last `kWindowMs` of samples; the time left follows from it.
class RateEstimator {
  public:
    static constexpr uint64_t kWindowMs = 20000;

    // A sample of `percent` at `nowMs`. A percent lower than the last one starts over.
    void Add(uint64_t nowMs, unsigned percent);
    void Reset() { m_samples.clear(); }
    // Percent per second; false while there is not enough to say.
    bool PercentPerSecond(double& rate) const;
    // Seconds until 100 percent; false while the rate is unknown or zero.
    bool SecondsLeft(double& seconds) const;

  private:
    std::deque<std::pair<uint64_t, unsigned>> m_samples;
};

// "[#####-----]" `width` characters inside the brackets, filled to `percent` (at most 100).
std::string BarText(unsigned percent, size_t width);
// "1:05" (minutes and seconds) or "1:02:05" with hours.
std::string DurationText(double seconds);

class ProgressView {
  public:
    static constexpr size_t kBarWidth = 24;
    // On a terminal, bar movements closer together than this are drawn together: the launcher
    // may report progress far more often than anyone can read it.
    static constexpr uint64_t kRedrawMs = 100;

    // `clock` answers monotonic milliseconds.
    explicit ProgressView(TermOutput& output, uint64_t (*clock)() = nullptr);

    // Both bars at 0 with their current file overlay; shown at once and on every change after.
    void Reset(const std::string& totalOverlay);
    // Not drawn any more (the login mode has no bars); changes are kept for the next Reset.
    void Conceal() {
        m_shown = false;
        m_held = false;
    }
    void SetFile(const std::string& overlay, unsigned percent);
    void SetFileOverlay(const std::string& overlay);
    void SetTotal(unsigned percent, uint64_t nowMs);
    void SetTotalOverlay(const std::string& overlay);

    // Milliseconds until a held-back redraw is due (0: now); -1 when none is waiting.
    int RedrawDueInMs() const;
    // Draws a held-back redraw when its time has come.
    void RedrawIfDue();

    // The lines as a terminal shows them (for tests and the redraw).
    std::string FileLine() const;
    std::string TotalLine() const;

  private:
    enum Changed { CH_File = 1, CH_Total = 2 };
    void Show(int changed, bool force = true);
    void Draw();

    TermOutput& m_output;
    std::string m_fileOverlay;
    unsigned m_filePercent = 0;
    std::string m_totalOverlay;
    unsigned m_totalPercent = 0;
    uint64_t (*m_clock)();
    bool m_shown = false;
    bool m_held = false;
    uint64_t m_drawnAtMs = 0;
    RateEstimator m_rate;
    std::string m_lastFilePlain, m_lastTotalPlain;
};

}  // namespace LarkTerm

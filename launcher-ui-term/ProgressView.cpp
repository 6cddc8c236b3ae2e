#include "ProgressView.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "OsTime.h"

namespace LarkTerm {

void RateEstimator::Add(uint64_t nowMs, unsigned percent) {
    if (!m_samples.empty() && percent < m_samples.back().second) m_samples.clear();
    m_samples.emplace_back(nowMs, percent);
    while (m_samples.size() > 2 && nowMs - m_samples.front().first > kWindowMs)
        m_samples.pop_front();
}

bool RateEstimator::PercentPerSecond(double& rate) const {
    if (m_samples.size() < 2) return false;
    uint64_t elapsed = m_samples.back().first - m_samples.front().first;
    if (elapsed == 0) return false;
    rate = (m_samples.back().second - m_samples.front().second) * 1000.0 / elapsed;
    return true;
}

bool RateEstimator::SecondsLeft(double& seconds) const {
    double rate = 0;
    if (!PercentPerSecond(rate) || rate <= 0) return false;
    unsigned last = std::min(m_samples.back().second, 100u);
    seconds = (100 - last) / rate;
    return true;
}

std::string BarText(unsigned percent, size_t width) {
    size_t filled = std::min<unsigned>(percent, 100) * width / 100;
    return "[" + std::string(filled, '#') + std::string(width - filled, '-') + "]";
}

std::string DurationText(double seconds) {
    long total = std::lround(std::max(0.0, std::min(seconds, 359999.0)));
    char text[32];
    if (total >= 3600) {
        std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", total / 3600, total / 60 % 60,
                      total % 60);
    } else {
        std::snprintf(text, sizeof text, "%ld:%02ld", total / 60, total % 60);
    }
    return text;
}

std::string ProgressView::FileLine() const {
    char percent[8];
    std::snprintf(percent, sizeof percent, "%3u%%", std::min(m_filePercent, 999u));
    return "File  " + BarText(m_filePercent, kBarWidth) + " " + percent + "  " + m_fileOverlay;
}

std::string ProgressView::TotalLine() const {
    char percent[8];
    std::snprintf(percent, sizeof percent, "%3u%%", std::min(m_totalPercent, 999u));
    std::string line =
        "Total " + BarText(m_totalPercent, kBarWidth) + " " + percent + "  " + m_totalOverlay;
    double rate = 0, left = 0;
    if (m_totalPercent < 100 && m_rate.PercentPerSecond(rate)) {
        char speed[32];
        std::snprintf(speed, sizeof speed, "  %.1f %%/s", rate);
        line += speed;
        if (m_rate.SecondsLeft(left)) line += "  " + DurationText(left) + " left";
    }
    return line;
}

ProgressView::ProgressView(TermOutput& output, uint64_t (*clock)())
    : m_output(output), m_clock(clock ? clock : &HY_OS::GetMonotonicMs) {}

void ProgressView::Draw() {
    m_held = false;
    m_drawnAtMs = m_clock();
    m_output.Status({FileLine(), TotalLine()});
}

int ProgressView::RedrawDueInMs() const {
    if (!m_held) return -1;
    uint64_t now = m_clock();
    return now >= m_drawnAtMs + kRedrawMs ? 0 : static_cast<int>(m_drawnAtMs + kRedrawMs - now);
}

void ProgressView::RedrawIfDue() {
    if (m_held && m_shown && RedrawDueInMs() == 0) Draw();
}

void ProgressView::Show(int changed, bool force) {
    if (!m_shown) return;
    if (m_output.Terminal()) {
        if (force || m_clock() >= m_drawnAtMs + kRedrawMs) {
            Draw();
        } else {
            m_held = true;
        }
        return;
    }
    // One plain line per change, and only when the line itself differs.
    char text[16];
    if (changed & CH_File) {
        std::snprintf(text, sizeof text, " %u%%", m_filePercent);
        std::string line = "File: " + m_fileOverlay + text;
        if (line != m_lastFilePlain) m_output.Line(m_lastFilePlain = line);
    }
    if (changed & CH_Total) {
        std::snprintf(text, sizeof text, " %u%%", m_totalPercent);
        std::string line = "Total: " + m_totalOverlay + text;
        if (line != m_lastTotalPlain) m_output.Line(m_lastTotalPlain = line);
    }
}

void ProgressView::Reset(const std::string& totalOverlay) {
    m_filePercent = m_totalPercent = 0;
    m_totalOverlay = totalOverlay;
    m_rate.Reset();
    m_held = false;
    m_lastFilePlain.clear();
    m_lastTotalPlain.clear();
    m_output.CloseStatus();
    m_shown = true;
    Show(CH_File | CH_Total);
}

void ProgressView::SetFile(const std::string& overlay, unsigned percent) {
    // A new file is drawn at once; the bar moving along within one file may wait.
    bool newText = overlay != m_fileOverlay;
    m_fileOverlay = overlay;
    m_filePercent = percent;
    Show(CH_File, newText);
}

void ProgressView::SetFileOverlay(const std::string& overlay) {
    m_fileOverlay = overlay;
    Show(CH_File);
}

void ProgressView::SetTotal(unsigned percent, uint64_t nowMs) {
    m_totalPercent = percent;
    m_rate.Add(nowMs, percent);
    Show(CH_Total, percent >= 100);
}

void ProgressView::SetTotalOverlay(const std::string& overlay) {
    m_totalOverlay = overlay;
    Show(CH_Total);
}

}  // namespace LarkTerm

// Log capture for the data-layer tests: the shared capture, with folding of repeated lines turned
// off (several tests count a line that is logged twice in a row), and a way to look only at what
// was logged after a point.
#pragma once

#include <algorithm>
#include <string>
#include <vector>

#include "LogCapture.h"
#include "LogMessage.h"

class DataLayerLog {
public:
    DataLayerLog() { HYLog::SetFolding(false, 0, 0); }
    DataLayerLog* operator->() { return this; }

    std::vector<std::string> Texts() {
        std::vector<std::string> texts = m_scope->Texts();
        texts.erase(texts.begin(), texts.begin() + static_cast<long>(std::min(m_skip, texts.size())));
        return texts;
    }
    size_t Count(const std::string& text) {
        std::vector<std::string> texts = Texts();
        return static_cast<size_t>(std::count(texts.begin(), texts.end(), text));
    }
    bool Contains(const std::string& text) { return Count(text) > 0; }
    // Forgets what was logged so far.
    void ClearTexts() { m_skip = m_scope->Texts().size(); }

private:
    hytest::ScopedLogCapture m_scope;
    size_t m_skip = 0;
};

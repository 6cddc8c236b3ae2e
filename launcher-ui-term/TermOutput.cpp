#include "TermOutput.h"

#include "Console.h"

namespace LarkTerm {

namespace {

// Length of the UTF-8 sequence led by `lead` (1 for a stray continuation byte).
size_t SequenceLength(unsigned char lead) {
    if (lead >= 0xF0 && lead < 0xF8) return 4;
    if (lead >= 0xE0) return lead < 0xF0 ? 3 : 1;
    if (lead >= 0xC0) return 2;
    return 1;
}

}  // namespace

std::string Printable(const std::string& text, bool keepLines) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (c < 0x80) {
            if ((c >= 0x20 && c != 0x7F) || (keepLines && c == '\n')) out += static_cast<char>(c);
            ++i;
            continue;
        }
        size_t length = SequenceLength(c);
        if (i + length > text.size()) break;
        // Only a whole sequence is passed on: a lead byte whose followers are not continuation
        // bytes is dropped, so a control character after it cannot ride along.
        bool whole = length > 1;
        for (size_t k = 1; k < length; ++k)
            whole = whole && (static_cast<unsigned char>(text[i + k]) & 0xC0) == 0x80;
        if (!whole) {
            ++i;
            continue;
        }
        // U+0080 to U+009F (C1 controls, among them the one-byte CSI) are encoded as C2 80..9F.
        bool c1 = c == 0xC2 && static_cast<unsigned char>(text[i + 1]) < 0xA0;
        if (!c1) out.append(text, i, length);
        i += length;
    }
    return out;
}

TermOutput::TermOutput(std::FILE* stream, bool terminal, int columns)
    : m_stream(stream), m_terminal(terminal), m_columns(columns) {
    if (m_columns <= 0) {
        int columns = Console::Columns(::fileno(stream));
        m_columns = columns > 0 ? columns : 80;
    }
}

std::string TermOutput::Fit(const std::string& text) const {
    // A line wider than the terminal would wrap and break the redraw in place: cut it to the
    // width less one column, counting characters, not bytes.
    size_t limit = m_columns > 1 ? static_cast<size_t>(m_columns - 1) : 1;
    size_t count = 0;
    for (size_t i = 0; i < text.size();) {
        if (count == limit) return text.substr(0, i);
        i += SequenceLength(static_cast<unsigned char>(text[i]));
        ++count;
    }
    return text;
}

void TermOutput::Flush() { std::fflush(m_stream); }

void TermOutput::BreakPrompt() {
    if (m_promptShown) {
        std::fputs("\n", m_stream);
        m_promptShown = false;
    }
}

void TermOutput::CloseStatus() {
    if (m_statusLines == 0) return;
    if (m_terminal) std::fputs("\n", m_stream);
    m_statusLines = 0;
    Flush();
}

void TermOutput::Line(const std::string& text) {
    if (m_hidden) return;
    BreakPrompt();
    CloseStatus();
    std::fprintf(m_stream, "%s\n", text.c_str());
    Flush();
}

void TermOutput::Link(const std::string& label, const std::string& address) {
    if (m_hidden) return;
    std::string shown = Printable(address);
    if (!m_terminal) {
        Line(label + shown);
        return;
    }
    BreakPrompt();
    CloseStatus();
    std::fprintf(m_stream, "%s\033]8;;%s\033\\%s\033]8;;\033\\\n", label.c_str(), shown.c_str(),
                 shown.c_str());
    Flush();
}

void TermOutput::Prompt(const std::string& text) {
    if (m_hidden) return;
    BreakPrompt();
    CloseStatus();
    if (m_terminal) {
        std::fputs(text.c_str(), m_stream);
        m_promptShown = true;
    } else {
        std::fprintf(m_stream, "%s\n", text.c_str());
    }
    Flush();
}

void TermOutput::EndHiddenLine() {
    if (m_terminal && m_promptShown) std::fputs("\n", m_stream);
    m_promptShown = false;
    Flush();
}

void TermOutput::TypedLine() {
    m_promptShown = false;
    if (m_terminal) m_statusLines = 0;
}

void TermOutput::Status(const std::vector<std::string>& lines) {
    if (m_hidden) return;
    if (!m_terminal) {
        for (const std::string& line : lines) std::fprintf(m_stream, "%s\n", line.c_str());
        Flush();
        return;
    }
    BreakPrompt();
    // The cursor rests at the end of the area's last line: go back to the area's first line.
    if (m_statusLines > 0) {
        std::fputs("\r", m_stream);
        if (m_statusLines > 1) std::fprintf(m_stream, "\033[%zuA", m_statusLines - 1);
    }
    for (size_t i = 0; i < lines.size(); ++i) {
        std::fprintf(m_stream, "\r\033[2K%s%s", Fit(lines[i]).c_str(),
                     i + 1 < lines.size() ? "\n" : "");
    }
    // A shorter area than before: clear what is left of the old one below.
    if (lines.size() < m_statusLines) std::fputs("\033[J", m_stream);
    m_statusLines = lines.size();
    Flush();
}

}  // namespace LarkTerm

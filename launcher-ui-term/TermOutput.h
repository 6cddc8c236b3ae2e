// What the terminal front-end shows, written to one stream. On a terminal the progress is a status
// area of a few lines redrawn in place (carriage return and ANSI cursor movement), page addresses
// are OSC 8 hyperlinks and prompts stay on the line the player types on. Elsewhere (a pipe, a
// file) every change is one plain line with no escape codes, so scripts can read it.
// Every text that comes from outside (server file names, addresses, ".lang" texts) loses its
// control characters before it is written, so it cannot move the cursor or rewrite the screen.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace LarkTerm {

// `text` (UTF-8) without C0 and C1 control characters and DEL; line feeds stay when `keepLines`.
std::string Printable(const std::string& text, bool keepLines = false);

class TermOutput {
  public:
    // `columns` 0: asked of the terminal (80 when it does not say).
    TermOutput(std::FILE* stream, bool terminal, int columns = 0);

    bool Terminal() const { return m_terminal; }
    // While hidden nothing is written at all.
    void SetHidden(bool hidden) { m_hidden = hidden; }
    bool Hidden() const { return m_hidden; }

    // One line of text (already printable) below everything written so far.
    void Line(const std::string& text);
    // A page address: an OSC 8 hyperlink on a terminal, a plain line otherwise.
    void Link(const std::string& label, const std::string& address);
    // A prompt: on a terminal it stays on its line, elsewhere it is a line of its own.
    void Prompt(const std::string& text);
    // The player ended a line that was typed without echo: on a terminal, go to the next line.
    void EndHiddenLine();
    // The player ended an echoed line: the terminal's cursor is at the start of a fresh line, so
    // neither the prompt nor the status area is where the cursor was.
    void TypedLine();
    // Replaces the status area by `lines` (a terminal redraws it in place).
    void Status(const std::vector<std::string>& lines);
    // Leaves the status area where it is; the next Status starts a new one below.
    void CloseStatus();

    // True while the last thing written is the prompt (so new output must start a new line).
    bool PromptShown() const { return m_promptShown; }

  private:
    std::string Fit(const std::string& text) const;
    void BreakPrompt();
    void Flush();

    std::FILE* m_stream;
    bool m_terminal;
    int m_columns;
    bool m_hidden = false;
    bool m_promptShown = false;
    size_t m_statusLines = 0;
};

}  // namespace LarkTerm

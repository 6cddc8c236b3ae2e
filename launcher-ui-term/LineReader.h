// Lines of standard input read straight from the descriptor, one byte per read(2), never past the
// end of the line being read: whatever follows stays in the descriptor for whoever reads it next
// (the launcher relaunches itself and its successor goes on reading the same terminal).
#pragma once

#include <string>

namespace LarkTerm {

class LineReader {
  public:
    // Longer lines keep their first kMaxLine bytes; the rest up to the line end is dropped.
    static constexpr size_t kMaxLine = 4096;

    enum Result {
        RR_NoLine = 0,  // nothing complete yet: the descriptor has no more bytes ready
        RR_Line = 1,    // `line` holds one line, without its line end
        RR_End = 2,     // end of input (or a read error); nothing is read from now on
    };

    explicit LineReader(int descriptor) : m_descriptor(descriptor) {}

    // Reads the bytes that are ready, up to and including the first line end. Never blocks when
    // the descriptor was reported readable; a last line without a line end is answered before
    // RR_End.
    Result ReadSome(std::string& line);

    bool Ended() const { return m_ended; }
    int Descriptor() const { return m_descriptor; }

  private:
    bool MoreReady() const;

    int m_descriptor;
    bool m_ended = false;
    std::string m_pending;
};

}  // namespace LarkTerm

// Test support: a private X server (Xvfb) for window tests, started on a free display number.
#pragma once

#include <sys/types.h>
#include <string>

namespace larkhost::test {

class XvfbDisplay {
  public:
    XvfbDisplay();
    ~XvfbDisplay();
    bool Ok() const { return !m_display.empty(); }
    const std::string& Display() const { return m_display; }

  private:
    pid_t m_pid = -1;
    std::string m_display;
};

}  // namespace larkhost::test

// Runs the test host (term_host) with the terminal library, either with standard input and output
// on pipes or on a pseudo-terminal, and collects what it printed.
#pragma once

#include <string>
#include <vector>

namespace termtest {

struct HostRun {
    std::string output;  // standard output (on a terminal: everything the terminal received)
    std::string errors;  // standard error (pipes only)
    int status = -1;     // exit status, -1 when it did not exit normally
};

struct HostSetup {
    std::vector<std::string> arguments;  // after the library path
    std::string configHome;              // $XDG_CONFIG_HOME of the host (the user-name store)
    std::string directory;               // working directory; empty: the test's
    std::string terminalType = "xterm";  // $TERM of the host
};

// Standard input is `input`; it is closed after it when `closeInput`, otherwise kept open until
// the host has ended.
HostRun RunOnPipes(const HostSetup& setup, const std::string& input, bool closeInput = true);

// A host on a pseudo-terminal, driven step by step.
class PtyHost {
  public:
    explicit PtyHost(const HostSetup& setup);
    ~PtyHost();
    // Reads until `text` has been received (true) or the host ends or 20 s pass (false).
    bool WaitFor(const std::string& text);
    void Type(const std::string& text);
    // Sends `signal` to the host.
    void Signal(int signal);
    // Whether the terminal echoes typed characters now.
    bool EchoOn() const;
    // Reads to the end and reaps the host.
    HostRun Finish();
    const std::string& Output() const { return m_output; }

  private:
    bool ReadSome(int timeoutMs);
    int m_master = -1;
    int m_pid = -1;
    int m_status = -1;  // exit status once reaped
    std::string m_output;
};

}  // namespace termtest

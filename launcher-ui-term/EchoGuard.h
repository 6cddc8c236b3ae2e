// Echo of typed characters switched off on a terminal while a password is typed. The terminal's
// modes are put back when the guard ends or is restored, and also when the process is ended by
// SIGINT, SIGTERM, SIGHUP or SIGQUIT meanwhile (the handler restores the modes and passes the
// signal on to whatever handled it before) or by exit(). On Windows the console's input mode is
// the one changed, and Ctrl+C, Ctrl+Break and closing the console put it back the same way.
#pragma once

namespace LarkTerm {

class EchoGuard {
  public:
    EchoGuard() = default;
    ~EchoGuard() { Restore(); }
    EchoGuard(const EchoGuard&) = delete;
    EchoGuard& operator=(const EchoGuard&) = delete;

    // Switches echo off on `descriptor` when it is a terminal; false (and nothing changed) when it
    // is not one or its modes cannot be changed. Only one guard may be active at a time.
    bool Disable(int descriptor);
    // Puts the saved modes back; does nothing when echo was not switched off.
    void Restore();
    bool Active() const { return m_active; }

  private:
    bool m_active = false;
};

}  // namespace LarkTerm

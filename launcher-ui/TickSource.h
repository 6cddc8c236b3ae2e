// "Tick" for the launcher's loop while the window is idle. Without a wait source the window sends
// "Tick" whenever its loop has nothing else to do (the launcher sleeps 1 ms per Tick). With one
// (IFnSetTickWaitSource) it sleeps until the launcher's descriptor is ready or its next timer is
// due, and ticks once after user input, so an idle window costs next to no processor time.
#pragma once

#include <glib.h>

#include "WindowLibraryExports.h"

namespace LarkUi {

class TickSource {
  public:
    TickSource() = default;
    ~TickSource() { Stop(); }
    TickSource(const TickSource&) = delete;
    TickSource& operator=(const TickSource&) = delete;

    // Starts sending "Tick" through `tick()` in the way the current wait source asks for.
    void Start(void (*tick)());
    void Stop();
    // Replaces the wait source; takes effect at once while started.
    void SetWaitSource(const TickWaitSource& source);
    // One "Tick" soon, whatever the wait source (after user input).
    void TickSoon();

    static TickSource& Instance();

  private:
    struct WaitGSource;
    static gboolean OnIdle(gpointer self);
    static gboolean OnTickSoon(gpointer self);
    static gboolean Prepare(GSource* source, gint* timeout);
    static gboolean Check(GSource* source);
    static gboolean Dispatch(GSource* source, GSourceFunc, gpointer);
    bool HasWaitSource() const { return m_wait.descriptor >= 0 || m_wait.timeoutMs != nullptr; }
    void Attach();
    void Detach();

    void (*m_tick)() = nullptr;
    TickWaitSource m_wait;
    guint m_idleId = 0;
    guint m_soonId = 0;
    GSource* m_source = nullptr;
};

}  // namespace LarkUi

#include "TickSource.h"

namespace LarkUi {

struct TickSource::WaitGSource {
    GSource base;
    TickSource* owner;
    gpointer tag;  // the descriptor's poll record, or null
    gint64 due;    // monotonic microseconds of the next timer; -1 none
};

TickSource& TickSource::Instance() {
    static TickSource source;
    return source;
}

void TickSource::Start(void (*tick)()) {
    m_tick = tick;
    Attach();
}

void TickSource::Stop() {
    Detach();
    m_tick = nullptr;
}

void TickSource::SetWaitSource(const TickWaitSource& source) {
    bool started = m_tick != nullptr;
    if (started) Detach();
    m_wait = source;
    if (started) Attach();
}

void TickSource::TickSoon() {
    if (m_tick && HasWaitSource() && m_soonId == 0)
        m_soonId = g_idle_add(&TickSource::OnTickSoon, this);
}

void TickSource::Attach() {
    if (!HasWaitSource()) {
        // The loop is idle whenever nothing of a higher priority (input, drawing, the web view's
        // messages) is waiting; the Tick is then repeated without pause.
        m_idleId = g_idle_add_full(G_PRIORITY_DEFAULT_IDLE, &TickSource::OnIdle, this, nullptr);
        return;
    }
    static GSourceFuncs funcs = {
        &TickSource::Prepare, &TickSource::Check, &TickSource::Dispatch, nullptr, nullptr, nullptr};
    m_source = g_source_new(&funcs, sizeof(WaitGSource));
    auto* wait = reinterpret_cast<WaitGSource*>(m_source);
    wait->owner = this;
    wait->due = -1;
    wait->tag = m_wait.descriptor >= 0 ? g_source_add_unix_fd(m_source, m_wait.descriptor, G_IO_IN)
                                       : nullptr;
    g_source_set_priority(m_source, G_PRIORITY_DEFAULT_IDLE);
    g_source_attach(m_source, nullptr);
}

void TickSource::Detach() {
    if (m_idleId) g_source_remove(m_idleId);
    if (m_soonId) g_source_remove(m_soonId);
    m_idleId = m_soonId = 0;
    if (m_source) {
        g_source_destroy(m_source);
        g_source_unref(m_source);
        m_source = nullptr;
    }
}

gboolean TickSource::OnIdle(gpointer self) {
    auto* source = static_cast<TickSource*>(self);
    if (source->m_tick) source->m_tick();
    return G_SOURCE_CONTINUE;
}

gboolean TickSource::OnTickSoon(gpointer self) {
    auto* source = static_cast<TickSource*>(self);
    source->m_soonId = 0;
    if (source->m_tick) source->m_tick();
    return G_SOURCE_REMOVE;
}

gboolean TickSource::Prepare(GSource* gsource, gint* timeout) {
    auto* wait = reinterpret_cast<WaitGSource*>(gsource);
    const TickWaitSource& source = wait->owner->m_wait;
    int ms = source.timeoutMs ? source.timeoutMs(source.context) : -1;
    wait->due = ms < 0 ? -1 : g_source_get_time(gsource) + static_cast<gint64>(ms) * 1000;
    *timeout = ms < 0 ? -1 : ms;
    return ms == 0;
}

gboolean TickSource::Check(GSource* gsource) {
    auto* wait = reinterpret_cast<WaitGSource*>(gsource);
    if (wait->tag && (g_source_query_unix_fd(gsource, wait->tag) & (G_IO_IN | G_IO_HUP | G_IO_ERR)))
        return TRUE;
    return wait->due >= 0 && g_source_get_time(gsource) >= wait->due;
}

gboolean TickSource::Dispatch(GSource* gsource, GSourceFunc, gpointer) {
    auto* wait = reinterpret_cast<WaitGSource*>(gsource);
    if (wait->owner->m_tick) wait->owner->m_tick();
    return G_SOURCE_CONTINUE;
}

}  // namespace LarkUi

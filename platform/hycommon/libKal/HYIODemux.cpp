#include "HYIODemux.h"

#include <cstdio>

#include "HYPerThreadData.h"

namespace {
HYPerThreadData<HYIODemux>& Slot() {
    static auto* slot = new HYPerThreadData<HYIODemux>("PTD HYIODemux");
    return *slot;
}
}  // namespace

HYIODemux::HYIODemux() : m_repository(MakeHandleRepository()) {}

HYIODemux::~HYIODemux() {
    // Handlers still attached lose their demultiplexer reference only through Detach, which
    // needs this object; none can remain, since each holds a reference to it.
}

std::shared_ptr<HYIODemux> HYIODemux::Current() { return Slot().Get(); }

int HYIODemux::WaitForInput(int timeoutMs, ThreadClock* clock) {
    if (m_repository->RebuildNeeded()) m_repository->Rebuild();
    return m_repository->Wait(timeoutMs, clock);
}

void HYIODemux::Dump() const {
    std::fprintf(stderr, "HYIODemux %p: %zu handlers\n", static_cast<const void*>(this),
                 m_repository->Count());
    for (const IoHandle* handler : m_repository->Handlers()) handler->Dump();
}

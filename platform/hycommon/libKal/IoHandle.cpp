#include "IoHandle.h"

#include <cstdio>

#include "HYIODemux.h"

IoHandle::~IoHandle() { Detach(); }

void IoHandle::MarkChanged() {
    if (m_demux) m_demux->Repository().MarkForRebuild();
}

int IoHandle::SetHandleAndMask(int handle, int mask) {
    if (handle == m_handle && mask == m_mask) return -1;
    m_handle = handle;
    m_mask = mask;
    MarkChanged();
    return 0;
}

int IoHandle::SetHandle(int handle) {
    if (handle == m_handle) return -1;
    m_handle = handle;
    MarkChanged();
    return 0;
}

int IoHandle::SetMask(int mask) {
    if (mask == m_mask) return -1;
    m_mask = mask;
    MarkChanged();
    return 0;
}

int IoHandle::AddInterest(int bits) { return SetMask(m_mask | bits); }

int IoHandle::RemoveInterest(int bits) { return SetMask(m_mask & ~bits); }

int IoHandle::Attach(std::shared_ptr<HYIODemux> demux) {
    if (!demux) demux = HYIODemux::Current();
    if (!demux || m_handle == -1) return -1;
    Detach();
    if (demux->Repository().Register(this) != 0) return -1;
    m_demux = std::move(demux);
    return 0;
}

int IoHandle::Detach() {
    if (!m_demux) return -1;
    std::shared_ptr<HYIODemux> demux = std::move(m_demux);
    m_demux.reset();
    demux->Repository().Unregister(this);
    m_index = -1;
    return 0;
}

int IoHandle::HandleEvents(int mask) {
    static const int kOrder[] = {IO_Signalled, IO_OutOfBand, IO_Readable, IO_Writable};
    int failed = 0, positive = 0, done = 0;
    for (int bit : kOrder) {
        if (!(mask & bit)) continue;
        int answer;
        switch (bit) {
            case IO_Signalled: answer = OnSignalled(); break;
            case IO_OutOfBand: answer = OnOutOfBand(); break;
            case IO_Readable: answer = OnReadable(); break;
            default: answer = OnWritable(); break;
        }
        if (answer < 0) failed |= bit;
        else if (answer > 0) positive |= bit;
        else done |= bit;
    }
    if (failed != 0) {
        Detach();
        OnError(failed);
        return done;
    }
    if (positive != 0) RemoveInterest(positive);
    return done;
}

void IoHandle::Dump() const {
    std::fprintf(stderr, "IoHandle %p: handle=%d mask=%d index=%d attached=%d\n",
                 static_cast<const void*>(this), m_handle, m_mask, m_index, m_demux ? 1 : 0);
}

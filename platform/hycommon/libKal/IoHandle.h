// The base of everything a demultiplexer watches: a descriptor (a socket, or a plain waitable
// handle such as an event) with an interest mask. The demultiplexer calls HandleEvents with the
// ready bits; the "On" operations answer -1 (failed: the handler is detached and told through
// OnError), 0 (done, keep watching) or a positive value (done, stop watching that bit).
//
// Waits are level-triggered: a socket that stays writable wakes every pass while its writable
// bit is set, so socket code drops that bit (answering positive) once nothing is left to send.
// A handler must not destroy itself from inside one of its own "On" operations.
#pragma once

#include <memory>

class HYIODemux;

enum IoMask : int {
    IO_Readable = 1,   // read, accept, close or a failed connect
    IO_Writable = 2,   // write or a completed connect
    IO_OutOfBand = 4,
    IO_Signalled = 8,  // a plain handle was signalled
};

class IoHandle {
public:
    IoHandle() = default;
    virtual ~IoHandle();
    IoHandle(const IoHandle&) = delete;
    IoHandle& operator=(const IoHandle&) = delete;

    virtual void NotifyOwner() {}
    virtual int OnSignalled() { return -1; }
    virtual int OnReadable() { return -1; }
    virtual int OnWritable() { return -1; }
    virtual int OnOutOfBand() { return -1; }
    virtual void OnError(int mask) {}

    // Changing the handle or the mask of an attached handler rebuilds its demultiplexer's wait
    // set before the next wait. Setting the value it already has answers -1.
    virtual int SetHandleAndMask(int handle, int mask);
    virtual int SetHandle(int handle);
    virtual int SetMask(int mask);
    virtual int AddInterest(int bits);
    virtual int RemoveInterest(int bits);

    // Attaches to `demux`, or to the calling thread's demultiplexer when none is given (leaving
    // any earlier one). A handle of -1 is refused with -1.
    virtual int Attach(std::shared_ptr<HYIODemux> demux = nullptr);
    int Detach();
    // False for sockets, true for waitable handles.
    virtual bool IsPlainHandle() const { return true; }
    // Calls the "On" operations for the bits 8, 4, 1, 2 in that order; answers the bits whose
    // operation answered 0.
    virtual int HandleEvents(int mask);
    virtual void Dump() const;

    int Handle() const { return m_handle; }
    int Mask() const { return m_mask; }
    int Index() const { return m_index; }
    bool IsAttached() const { return m_demux != nullptr; }
    const std::shared_ptr<HYIODemux>& Demux() const { return m_demux; }

private:
    friend class HYHandleRepository;
    friend class HYPollRepository;
    void MarkChanged();

    int m_handle = -1;
    int m_mask = 0;
    std::shared_ptr<HYIODemux> m_demux;
    int m_index = -1;
};

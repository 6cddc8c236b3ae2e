// Events: work handed to a thread. A queued event is posted to the event list of the thread it
// is bound to (the one that made it) and runs there in that thread's next loop pass.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>

class EventList;

enum HYEventKind : int {
    EK_Synchronous = 0,   // runs at once on the signalling thread
    EK_Queued = 1,        // posted to the owning thread's list
    EK_CopyOnSignal = 2,  // signalled with data, a fresh copy carrying the data is posted
};

enum HYEventFlags : uint32_t {
    EF_Synchronous = 1,
    EF_CopyOnSignal = 2,
    EF_Queued = 4,
    EF_DeleteAfterRun = 8,
};

class HYEvent {
public:
    // Binds the event to the calling thread's event list.
    explicit HYEvent(int kind = EK_Queued);
    // Takes the event off its list when it is queued.
    virtual ~HYEvent();
    HYEvent(const HYEvent&) = delete;
    HYEvent& operator=(const HYEvent&) = delete;

    virtual void NotifyOwner() {}
    // Takes the event off its list when it is queued.
    virtual void Unlink();
    virtual void Run() {}
    // A copy for posting with data (events of kind 2); none by default.
    virtual std::unique_ptr<HYEvent> Clone() const { return nullptr; }

    // Runs or posts the event: 0 when run or posted, 1 when its list is gone.
    int Signal();
    // Posts a copy carrying `data` (kind 2; other kinds ignore the data and signal themselves).
    int Signal(std::shared_ptr<void> data);
    // Moves the event to the calling thread's list (taking it off any earlier one).
    void BindToCurrentThread();

    bool IsQueued() const { return (m_flags.load(std::memory_order_acquire) & EF_Queued) != 0; }
    uint32_t Flags() const { return m_flags.load(std::memory_order_acquire); }
    const std::shared_ptr<void>& Data() const { return m_data; }
    std::shared_ptr<EventList> List() const { return m_list.lock(); }

private:
    friend class EventList;

    HYEvent* m_prev = nullptr;
    HYEvent* m_next = nullptr;
    std::weak_ptr<EventList> m_list;
    std::atomic<uint32_t> m_flags{0};
    uint32_t m_passTag = 0;
    std::shared_ptr<void> m_data;
};

// The form of event used throughout the launcher: runs a function on the owning thread. The
// name, source file and line only serve diagnostics. An event without a function only wakes its
// thread.
class CallbackEvent : public HYEvent {
public:
    CallbackEvent(std::function<void()> function, const char* name, const char* file, int line,
                  int kind = EK_Queued);
    void Run() override;
    void SetFunction(std::function<void()> function) { m_function = std::move(function); }
    const char* Name() const { return m_name; }
    const char* File() const { return m_file; }
    int Line() const { return m_line; }

private:
    std::function<void()> m_function;
    const char* m_name;
    const char* m_file;
    int m_line;
};

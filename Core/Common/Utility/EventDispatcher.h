// Delivers named events to the handlers registered under that name, in registration order, after
// first offering them to child dispatchers. Used from the main thread only.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "Event.h"
#include "EventHandler.h"

inline constexpr const char* kEventDispatcherCategory = "EventDispatcher";

class EventDispatcher {
public:
    static constexpr size_t kBucketCount = 100;

    EventDispatcher() = default;
    // Detaches every handler still bound here and leaves parents and children.
    ~EventDispatcher();
    EventDispatcher(const EventDispatcher&) = delete;
    EventDispatcher& operator=(const EventDispatcher&) = delete;

    // Binds `handler` here (leaving any other dispatcher) and files it under its event name.
    void RegisterHandler(EventHandlerBase& handler);
    // Removes it; a dispatch in progress skips it.
    void UnRegisterHandler(EventHandlerBase& handler);
    // False when `child` is already a child, is this dispatcher, or would make a cycle.
    bool RegisterChildDispatcher(EventDispatcher& child);
    void UnRegisterChildDispatcher(EventDispatcher& child);

    // Offers the event to the children, then to the handlers of `name`; the last non-zero
    // result, or 0.
    int SendEvent(const std::string& name, Event& event);
    // Handlers of `name` here and, recursively, in the children.
    int CountHandlers(const std::string& name) const;

    // The bucket hash: 5381, times 33 plus each byte, low 31 bits.
    static uint32_t HashName(std::string_view name);
    // True on the thread that started the process.
    static bool OnMainThread();

private:
    void CheckThread() const;
    bool IsDescendant(const EventDispatcher* other) const;
    void Compact();

    std::vector<EventHandlerBase*> m_buckets[kBucketCount];
    std::vector<EventDispatcher*> m_children;
    std::vector<EventDispatcher*> m_parents;
    int m_dispatchDepth = 0;
    bool m_needsCompaction = false;
};

#include "EventDispatcher.h"

#include <algorithm>

#include "LogMessage.h"
#include "OsThread.h"

namespace {

// Taken during static initialisation, which runs on the thread that starts the process.
const uint32_t g_mainThreadId = HY_OS::CurrentThreadId();

}  // namespace

EventHandlerBase::~EventHandlerBase() {
    if (m_dispatcher) m_dispatcher->UnRegisterHandler(*this);
}

void EventHandlerBase::ReportTypeMismatch() const {
    HY_LOG(LL_Error, kEventHandlerCategory, "EventHandler::Invoke", "Types do not match for event %s",
           m_eventName.c_str());
}

bool EventDispatcher::OnMainThread() { return HY_OS::CurrentThreadId() == g_mainThreadId; }

void EventDispatcher::CheckThread() const {
    if (!OnMainThread()) {
        HY_LOG(LL_Error, kEventDispatcherCategory, "EventDispatcher::CheckThread",
               "EventDispatcher used from a background thread.");
    }
}

uint32_t EventDispatcher::HashName(std::string_view name) {
    uint32_t hash = 5381;
    for (unsigned char c : name) hash = hash * 33 + c;
    return hash & 0x7FFFFFFF;
}

EventDispatcher::~EventDispatcher() {
    CheckThread();
    for (auto& bucket : m_buckets) {
        for (EventHandlerBase* handler : bucket) {
            if (handler) handler->m_dispatcher = nullptr;
        }
        bucket.clear();
    }
    for (EventDispatcher* parent : m_parents) {
        auto& siblings = parent->m_children;
        siblings.erase(std::remove(siblings.begin(), siblings.end(), this), siblings.end());
    }
    for (EventDispatcher* child : m_children) {
        auto& parents = child->m_parents;
        parents.erase(std::remove(parents.begin(), parents.end(), this), parents.end());
    }
}

void EventDispatcher::RegisterHandler(EventHandlerBase& handler) {
    CheckThread();
    if (handler.m_dispatcher == this) return;
    if (handler.m_dispatcher) handler.m_dispatcher->UnRegisterHandler(handler);
    m_buckets[HashName(handler.EventName()) % kBucketCount].push_back(&handler);
    handler.m_dispatcher = this;
}

void EventDispatcher::UnRegisterHandler(EventHandlerBase& handler) {
    CheckThread();
    if (handler.m_dispatcher != this) return;
    auto& bucket = m_buckets[HashName(handler.EventName()) % kBucketCount];
    auto it = std::find(bucket.begin(), bucket.end(), &handler);
    if (it != bucket.end()) {
        if (m_dispatchDepth > 0) {
            *it = nullptr;  // a dispatch in progress walks this bucket
            m_needsCompaction = true;
        } else {
            bucket.erase(it);
        }
    }
    handler.m_dispatcher = nullptr;
}

bool EventDispatcher::IsDescendant(const EventDispatcher* other) const {
    for (const EventDispatcher* child : m_children) {
        if (child == other || child->IsDescendant(other)) return true;
    }
    return false;
}

bool EventDispatcher::RegisterChildDispatcher(EventDispatcher& child) {
    CheckThread();
    if (&child == this || child.IsDescendant(this)) return false;
    if (std::find(m_children.begin(), m_children.end(), &child) != m_children.end()) return false;
    m_children.push_back(&child);
    child.m_parents.push_back(this);
    return true;
}

void EventDispatcher::UnRegisterChildDispatcher(EventDispatcher& child) {
    CheckThread();
    m_children.erase(std::remove(m_children.begin(), m_children.end(), &child), m_children.end());
    auto& parents = child.m_parents;
    parents.erase(std::remove(parents.begin(), parents.end(), this), parents.end());
}

void EventDispatcher::Compact() {
    for (auto& bucket : m_buckets) {
        bucket.erase(std::remove(bucket.begin(), bucket.end(), nullptr), bucket.end());
    }
    m_needsCompaction = false;
}

int EventDispatcher::SendEvent(const std::string& name, Event& event) {
    CheckThread();
    int result = 0;
    ++m_dispatchDepth;
    // Children may leave during the dispatch: walk by index and re-check the bound.
    for (size_t i = 0; i < m_children.size(); ++i) {
        int childResult = m_children[i]->SendEvent(name, event);
        if (childResult != 0) result = childResult;
    }
    auto& bucket = m_buckets[HashName(name) % kBucketCount];
    size_t count = bucket.size();  // handlers registered during the dispatch wait for the next
    for (size_t i = 0; i < count && i < bucket.size(); ++i) {
        EventHandlerBase* handler = bucket[i];
        if (!handler || handler->EventName() != name) continue;
        int handlerResult = handler->Invoke(event);
        if (handlerResult != 0) result = handlerResult;
    }
    if (--m_dispatchDepth == 0 && m_needsCompaction) Compact();
    return result;
}

int EventDispatcher::CountHandlers(const std::string& name) const {
    CheckThread();
    int count = 0;
    for (const EventHandlerBase* handler : m_buckets[HashName(name) % kBucketCount]) {
        if (handler && handler->EventName() == name) ++count;
    }
    for (const EventDispatcher* child : m_children) count += child->CountHandlers(name);
    return count;
}

#include "HYPerThreadData.h"

#include "HYThread.h"

namespace {
void DeleteHolder(void* raw) { delete static_cast<std::shared_ptr<void>*>(raw); }
}  // namespace

PerThreadSlot::PerThreadSlot(const char* name, Factory factory)
    : m_name(name), m_factory(factory), m_key(HY_OS::TlsAlloc(&DeleteHolder)) {}

std::shared_ptr<void> PerThreadSlot::Get() {
    if (m_key == HY_OS::kInvalidTlsKey) return nullptr;
    auto* holder = static_cast<std::shared_ptr<void>*>(HY_OS::TlsGet(m_key));
    if (holder != nullptr) return *holder;
    // The thread is adopted (when it has no HYThread yet) so that its objects are cleaned up in
    // a known order when it ends.
    HYThread* thread = HYThread::Current();
    std::shared_ptr<void> object = m_factory();
    holder = static_cast<std::shared_ptr<void>*>(HY_OS::TlsGet(m_key));
    if (holder != nullptr) return *holder;  // the factory itself needed this slot
    if (!HY_OS::TlsSet(m_key, new std::shared_ptr<void>(object))) return nullptr;
    if (thread != nullptr) thread->RecordPerThreadObject(this);
    return object;
}

std::shared_ptr<void> PerThreadSlot::Peek() const {
    if (m_key == HY_OS::kInvalidTlsKey) return nullptr;
    auto* holder = static_cast<std::shared_ptr<void>*>(HY_OS::TlsGet(m_key));
    return holder ? *holder : nullptr;
}

void PerThreadSlot::Release() {
    if (m_key == HY_OS::kInvalidTlsKey) return;
    auto* holder = static_cast<std::shared_ptr<void>*>(HY_OS::TlsGet(m_key));
    if (holder == nullptr) return;
    HY_OS::TlsSet(m_key, nullptr);
    delete holder;
}

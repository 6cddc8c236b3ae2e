#include "HYHandleRepository.h"

#include <algorithm>

HYHandleRepository::~HYHandleRepository() = default;

int HYHandleRepository::Register(IoHandle* handler) {
    if (handler == nullptr || handler->Handle() == -1) return -1;
    if (std::find(m_handlers.begin(), m_handlers.end(), handler) == m_handlers.end()) {
        m_handlers.push_back(handler);
    }
    m_rebuildNeeded = true;
    return 0;
}

void HYHandleRepository::Unregister(IoHandle* handler) {
    auto it = std::find(m_handlers.begin(), m_handlers.end(), handler);
    if (it == m_handlers.end()) return;
    m_handlers.erase(it);
    Forget(handler);
    m_rebuildNeeded = true;
}

void HYHandleRepository::DetachForError(IoHandle* handler, int mask) {
    handler->Detach();
    handler->OnError(mask);
}

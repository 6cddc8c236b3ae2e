// Per-thread data: a named slot whose object is made on a thread's first access and deleted, on
// that thread, when the thread ends.
#pragma once

#include <memory>

#include "OsThread.h"

class PerThreadSlot {
public:
    using Factory = std::shared_ptr<void> (*)();

    PerThreadSlot(const char* name, Factory factory);
    PerThreadSlot(const PerThreadSlot&) = delete;
    PerThreadSlot& operator=(const PerThreadSlot&) = delete;

    // The calling thread's object, made on first use; empty when thread-local storage is missing.
    std::shared_ptr<void> Get();
    // The calling thread's object if it has one.
    std::shared_ptr<void> Peek() const;
    // Drops the calling thread's object and clears the slot.
    void Release();
    const char* Name() const { return m_name; }

private:
    const char* m_name;
    Factory m_factory;
    HY_OS::TlsKey m_key;
};

template <class T>
class HYPerThreadData {
public:
    explicit HYPerThreadData(const char* name)
        : m_slot(name, [] { return std::static_pointer_cast<void>(std::make_shared<T>()); }) {}

    std::shared_ptr<T> Get() { return std::static_pointer_cast<T>(m_slot.Get()); }
    std::shared_ptr<T> Peek() const { return std::static_pointer_cast<T>(m_slot.Peek()); }
    void Release() { m_slot.Release(); }

private:
    PerThreadSlot m_slot;
};

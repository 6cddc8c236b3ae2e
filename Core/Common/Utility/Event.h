// An event as the dispatcher delivers it: one argument together with its type.
#pragma once

#include <typeinfo>

class Event {
public:
    template <class T>
    explicit Event(T& argument) : m_argument(&argument), m_type(&typeid(T)) {}

    const std::type_info& ArgumentType() const { return *m_type; }
    void* Argument() const { return m_argument; }
    // The argument when it has type T, else nullptr.
    template <class T>
    T* ArgumentAs() const {
        return *m_type == typeid(T) ? static_cast<T*>(m_argument) : nullptr;
    }

private:
    void* m_argument;
    const std::type_info* m_type;
};

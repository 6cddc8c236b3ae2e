// Handlers of named events. A handler is bound to one event name, one object and one member
// function taking the event's argument; destroying it unregisters it from its dispatcher.
#pragma once

#include <string>
#include <type_traits>

#include "Event.h"

class EventDispatcher;

inline constexpr const char* kEventHandlerCategory = "EventHandler";

class EventHandlerBase {
public:
    explicit EventHandlerBase(std::string eventName) : m_eventName(std::move(eventName)) {}
    virtual ~EventHandlerBase();
    EventHandlerBase(const EventHandlerBase&) = delete;
    EventHandlerBase& operator=(const EventHandlerBase&) = delete;

    const std::string& EventName() const { return m_eventName; }
    EventDispatcher* Dispatcher() const { return m_dispatcher; }
    // Runs the handler; its result is the dispatcher's answer.
    virtual int Invoke(Event& event) = 0;

protected:
    // Logs that the event's argument is not of the handler's type.
    void ReportTypeMismatch() const;

private:
    friend class EventDispatcher;
    std::string m_eventName;
    EventDispatcher* m_dispatcher = nullptr;
};

// EventHandler<Class, DMLRecord&>: calls `(object->*method)(record)`.
template <class Class, class Arg>
class EventHandler : public EventHandlerBase {
public:
    using Value = std::remove_cv_t<std::remove_reference_t<Arg>>;
    using Method = int (Class::*)(Arg);

    EventHandler(std::string eventName, Class* object, Method method)
        : EventHandlerBase(std::move(eventName)), m_object(object), m_method(method) {}

    int Invoke(Event& event) override {
        Value* argument = event.ArgumentAs<Value>();
        if (!argument) {
            // Calling the member with an argument of another type would read it as the wrong
            // object, so a mismatch is reported and the member is not called.
            ReportTypeMismatch();
            return 0;
        }
        return (m_object->*m_method)(*argument);
    }

private:
    Class* m_object;
    Method m_method;
};

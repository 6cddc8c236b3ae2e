// Items posted to the calling thread and handled one per loop pass, in the order posted, never
// inside the code that posts them. The patcher's transitions and the batch patcher's steps run
// this way.
#pragma once

#include <deque>
#include <functional>
#include <utility>

#include "HYEvent.h"

template <class Step>
class PostedSteps {
public:
    // Made on the thread that handles the steps.
    PostedSteps(std::function<void(const Step&)> handler, const char* name)
        : m_handler(std::move(handler)), m_event([this] { RunOne(); }, name, __FILE__, __LINE__) {}
    PostedSteps(const PostedSteps&) = delete;
    PostedSteps& operator=(const PostedSteps&) = delete;

    void Post(Step step) {
        m_steps.push_back(std::move(step));
        if (!m_event.IsQueued()) m_event.Signal();
    }
    bool Empty() const { return m_steps.empty(); }
    size_t Size() const { return m_steps.size(); }

private:
    void RunOne() {
        if (m_steps.empty()) return;
        Step step = std::move(m_steps.front());
        m_steps.pop_front();
        m_handler(step);
        // Steps posted meanwhile, and the ones behind this one, run in later passes.
        if (!m_steps.empty() && !m_event.IsQueued()) m_event.Signal();
    }

    std::deque<Step> m_steps;
    std::function<void(const Step&)> m_handler;
    CallbackEvent m_event;
};

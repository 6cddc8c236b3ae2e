#include "EventDispatcher.h"

#include <gtest/gtest.h>

#include <thread>

#include "DMLRecord.h"
#include "datalayer_test_support.h"

namespace {

class Listener {
public:
    explicit Listener(int answer) : m_answer(answer) {}
    int OnRecord(DMLRecord& record) {
        m_calls.push_back(record.GetField("Id").GetInt());
        if (m_onCall) m_onCall();
        return m_answer;
    }
    std::vector<int> m_calls;
    int m_answer;
    std::function<void()> m_onCall;
};

using RecordHandler = EventHandler<Listener, DMLRecord&>;

}  // namespace

TEST(EventDispatcherTest, HashIsDjb2OnThirtyOneBits) {
    EXPECT_EQ(EventDispatcher::HashName(""), 5381u);
    EXPECT_EQ(EventDispatcher::HashName("a"), 5381u * 33 + 'a');
    uint32_t h = 5381;
    for (char c : std::string("MSG_UserAuthenRsp")) h = h * 33 + static_cast<unsigned char>(c);
    EXPECT_EQ(EventDispatcher::HashName("MSG_UserAuthenRsp"), h & 0x7FFFFFFF);
}

TEST(EventDispatcherTest, HandlersRunInRegistrationOrderAndTheLastAnswerWins) {
    EventDispatcher dispatcher;
    Listener first(1), second(2), other(7);
    RecordHandler a("MSG_X", &first, &Listener::OnRecord);
    RecordHandler b("MSG_X", &second, &Listener::OnRecord);
    RecordHandler c("MSG_Y", &other, &Listener::OnRecord);
    std::vector<std::string> order;
    first.m_onCall = [&] { order.push_back("first"); };
    second.m_onCall = [&] { order.push_back("second"); };
    dispatcher.RegisterHandler(a);
    dispatcher.RegisterHandler(b);
    dispatcher.RegisterHandler(c);
    DMLRecord record;
    record.GetField("Id").SetValue(int32_t{5});
    Event event(record);
    EXPECT_EQ(dispatcher.SendEvent("MSG_X", event), 2);
    EXPECT_EQ(order, (std::vector<std::string>{"first", "second"}));
    EXPECT_TRUE(other.m_calls.empty());
    EXPECT_EQ(dispatcher.CountHandlers("MSG_X"), 2);
    EXPECT_EQ(dispatcher.SendEvent("MSG_None", event), 0);
}

TEST(EventDispatcherTest, HandlerRemovedDuringDispatchIsSkipped) {
    EventDispatcher dispatcher;
    Listener first(0), second(3);
    RecordHandler a("E", &first, &Listener::OnRecord);
    auto b = std::make_unique<RecordHandler>("E", &second, &Listener::OnRecord);
    first.m_onCall = [&] { b.reset(); };  // destroying a handler unregisters it
    dispatcher.RegisterHandler(a);
    dispatcher.RegisterHandler(*b);
    DMLRecord record;
    Event event(record);
    EXPECT_EQ(dispatcher.SendEvent("E", event), 0);
    EXPECT_TRUE(second.m_calls.empty());
    EXPECT_EQ(dispatcher.CountHandlers("E"), 1);
}

TEST(EventDispatcherTest, ChildrenAreOfferedTheEventFirst) {
    EventDispatcher parent, child, grandchild;
    EXPECT_TRUE(parent.RegisterChildDispatcher(child));
    EXPECT_FALSE(parent.RegisterChildDispatcher(child));
    EXPECT_TRUE(child.RegisterChildDispatcher(grandchild));
    EXPECT_FALSE(grandchild.RegisterChildDispatcher(parent));  // would make a cycle
    EXPECT_FALSE(parent.RegisterChildDispatcher(parent));
    Listener inParent(4), inChild(9);
    std::vector<std::string> order;
    inParent.m_onCall = [&] { order.push_back("parent"); };
    inChild.m_onCall = [&] { order.push_back("child"); };
    RecordHandler p("E", &inParent, &Listener::OnRecord);
    RecordHandler c("E", &inChild, &Listener::OnRecord);
    parent.RegisterHandler(p);
    grandchild.RegisterHandler(c);
    DMLRecord record;
    Event event(record);
    EXPECT_EQ(parent.SendEvent("E", event), 4);
    EXPECT_EQ(order, (std::vector<std::string>{"child", "parent"}));
    EXPECT_EQ(parent.CountHandlers("E"), 2);
    parent.UnRegisterChildDispatcher(child);
    EXPECT_EQ(parent.CountHandlers("E"), 1);
}

TEST(EventDispatcherTest, DestroyedDispatcherDetachesItsHandlers) {
    Listener listener(1);
    RecordHandler handler("E", &listener, &Listener::OnRecord);
    {
        EventDispatcher dispatcher;
        EventDispatcher parent;
        parent.RegisterChildDispatcher(dispatcher);
        dispatcher.RegisterHandler(handler);
        EXPECT_EQ(handler.Dispatcher(), &dispatcher);
    }
    EXPECT_EQ(handler.Dispatcher(), nullptr);
}

TEST(EventDispatcherTest, WrongArgumentTypeIsReportedAndNotDelivered) {
    LogCapture capture;
    EventDispatcher dispatcher;
    Listener listener(1);
    RecordHandler handler("MSG_Z", &listener, &Listener::OnRecord);
    dispatcher.RegisterHandler(handler);
    int notARecord = 3;
    Event event(notARecord);
    EXPECT_EQ(dispatcher.SendEvent("MSG_Z", event), 0);
    EXPECT_TRUE(listener.m_calls.empty());
    EXPECT_TRUE(capture->Contains("Types do not match for event MSG_Z"));
}

TEST(EventDispatcherTest, UseFromAnotherThreadIsLogged) {
    LogCapture capture;
    EventDispatcher dispatcher;
    std::thread([&] { dispatcher.CountHandlers("E"); }).join();
    EXPECT_TRUE(capture->Contains("EventDispatcher used from a background thread."));
}

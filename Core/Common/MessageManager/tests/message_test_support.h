// Helpers of the message-manager tests: temporary data directories with generated modules, and
// an assertion handler that answers Ignore and counts the reports.
#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "HYAssert.h"
#include "MessageManager.h"
#include "OsFile.h"
#include "ResourceManager.h"

inline std::atomic<int> g_assertReports{0};

inline AssertAnswer IgnoreAssert(const char*, const char*) {
    ++g_assertReports;
    return AA_Ignore;
}

struct TestMessage {
    std::string table;
    std::string name;
    std::string handler;
    std::string extra;  // further field elements, e.g. "<_MsgOrder TYPE=\"INT\">10</_MsgOrder>"
};

inline std::string ModuleXml(const std::string& module, int service,
                             const std::vector<TestMessage>& messages) {
    std::string out = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<" + module + ">\n";
    out += "<_ProtocolInfo><RECORD><ServiceID TYPE=\"UBYT\">" + std::to_string(service) +
           "</ServiceID><ProtocolType TYPE=\"STR\">T" + std::to_string(service) +
           "</ProtocolType><ProtocolDescription TYPE=\"STR\">test</ProtocolDescription>"
           "</RECORD></_ProtocolInfo>\n";
    for (const TestMessage& m : messages) {
        out += "<" + m.table + "><RECORD><_MsgName NOXFER=\"TRUE\" TYPE=\"STR\">" + m.name +
               "</_MsgName><_MsgHandler NOXFER=\"TRUE\" TYPE=\"STR\">" + m.handler +
               "</_MsgHandler>" + m.extra + "</RECORD></" + m.table + ">\n";
    }
    return out + "</" + module + ">\n";
}

// A data directory whose resource manager the message manager uses; everything is unloaded
// before and after each test.
class MessageManagerFixture {
public:
    MessageManagerFixture() {
        // One directory per test: ctest may run the tests of this binary in parallel.
        m_dir = std::string(::testing::TempDir()) + "/message_manager_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name();
        HY_OS::CreateDirectories(m_dir);
        MessageManager::GetSingleton().UnloadAll();
        MessageManager::GetSingleton().SetResourceManager(std::make_shared<ResourceManager>(m_dir));
        SetAssertHandler(&IgnoreAssert);
        ResetAssertIgnores();
        g_assertReports = 0;
    }
    ~MessageManagerFixture() {
        MessageManager::GetSingleton().UnloadAll();
        MessageManager::GetSingleton().SetResourceManager(nullptr);
        SetAssertHandler(nullptr);
    }
    void WriteModule(const std::string& name, const std::string& xml) {
        HY_OS::WriteFileAtomic(m_dir + "/" + name + ".xml", xml);
    }
    const std::string& Dir() const { return m_dir; }

private:
    std::string m_dir;
};

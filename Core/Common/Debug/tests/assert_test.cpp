#include "HYAssert.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "DebugOutput.h"
#include "LogCapture.h"

namespace {

std::vector<std::string> g_asked;
AssertAnswer g_answer = AA_Ignore;

AssertAnswer Ask(const char* title, const char* text) {
    g_asked.push_back(std::string(title) + "|" + text);
    return g_answer;
}

class AssertTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetAssertHandler(&Ask);
        ResetAssertIgnores();
        g_asked.clear();
        g_answer = AA_Ignore;
    }
    void TearDown() override { SetAssertHandler(nullptr); }
    hytest::ScopedLogCapture capture;
};

void FailAt(int value) { HY_ASSERT(value == 0); }

TEST_F(AssertTest, ReportsToTheErrorChannelAndRemembersIgnorePerPlace) {
    FailAt(1);
    FailAt(2);  // the same file and line: ignored from now on
    ASSERT_EQ(g_asked.size(), 1u);
    EXPECT_NE(g_asked[0].find("Error|value == 0\n File: "), std::string::npos);
    EXPECT_NE(g_asked[0].find("assert_test.cpp, Line: "), std::string::npos);
    auto records = capture->Records();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_STREQ(records[0].category, "CORE_SEER");
    EXPECT_STREQ(records[0].function, "DebugOutput::Report");
    EXPECT_EQ(records[0].level, LL_DebugMed);
    std::string text = records[0].text;
    EXPECT_EQ(text.substr(0, 19), "ERROR: value == 0, ");
    EXPECT_NE(text.find(", File: "), std::string::npos);

    HY_ASSERT(1 + 1 == 3);  // another place asks again
    EXPECT_EQ(g_asked.size(), 2u);
    HY_ASSERT(true);
    EXPECT_EQ(g_asked.size(), 2u);
}

TEST_F(AssertTest, AnAssertionInsideAnOpenReportIsSkipped) {
    SetAssertHandler([](const char* title, const char* text) {
        g_asked.push_back(text);
        HY_ASSERT(false && "nested");
        return AA_Ignore;
    });
    FailAt(3);
    EXPECT_EQ(g_asked.size(), 1u);
}

TEST_F(AssertTest, AbortEndsTheProcess) {
    g_answer = AA_Abort;
    EXPECT_DEATH(FailAt(4), "");
}

TEST(DebugOutput, ChannelsSendLinesWhereTheirFlagsSay) {
    testing::internal::CaptureStderr();
    DebugOutput channel("TEST", DOF_StdErr | DOF_Debugger);
    channel.Reportf("value %d", 5);
    std::string err = testing::internal::GetCapturedStderr();
#ifdef _WIN32
    // The debugger's output is OutputDebugString there, not standard error.
    EXPECT_EQ(err, "value 5\n");
#else
    EXPECT_EQ(err, "TEST : value 5\nvalue 5\n");
#endif
}

}  // namespace

#include "WindowLibrary.h"

#include <gtest/gtest.h>

#include <vector>

#include "DebugOutput.h"
#include "OsEnv.h"

namespace {

std::vector<std::string> g_boxes;

void RecordBox(const char* title, const char* text) {
    g_boxes.push_back(std::string(title) + "|" + text);
}

class WindowLibraryTest : public ::testing::Test {
protected:
    void SetUp() override {
        g_boxes.clear();
        SetMessageBoxHandler(&RecordBox);
    }
    void TearDown() override {
        SetMessageBoxHandler(nullptr);
    }
};

TEST_F(WindowLibraryTest, AMissingLibraryIsReportedAndTheCallSkipped) {
    HY_OS::SetEnv("LARK_UI", "graphical");
    EXPECT_EQ(WindowLibrary::Instance().FileName(), "libLarkLauncherUI.so");
    WindowLibrary library("NoSuchWindowLibrary");
    EXPECT_FALSE(library.GuardedCall<decltype(IFnInitialize)>(
        "Initialize", WindowExports::kInitialize, std::string("LarkLauncher"),
        std::string("English")));
    EXPECT_FALSE(library.GuardedCall<decltype(IFnAlreadyRunning)>(
        "Already Running", WindowExports::kAlreadyRunning));
    EXPECT_EQ(g_boxes, (std::vector<std::string>{
                           "ERROR|Initialize: Dll libNoSuchWindowLibrary.so was not found",
                           "ERROR|Already Running: Dll libNoSuchWindowLibrary.so was not found"}));
}

// The symbol names the launcher looks up are the ones a library defining the declared functions
// exports; a wrong name in the table would leave the window unreachable.
TEST_F(WindowLibraryTest, EveryDeclaredExportIsFoundInALibraryDefiningThem) {
    WindowLibrary library(FAKE_WINDOW_LIBRARY);
    using namespace WindowExportSymbols;
    for (const char* symbol :
         {kAlreadyRunning, kInitialize, kShowUI, kGotoPage, kGetUserNameAndPassword,
          kShowLoginControls, kShowProgressControls, kReportFileProgress, kReportTotalProgress,
          kConnectToLogin, kPatchingPatchClient, kLaunchingNewPatchClient, kLaunchingGameClient,
          kReadyToPlay, kHideWindow, kPostQuitMessage, kHomeButtonFocus}) {
        BindFailure failure = BF_LibraryMissing;
        EXPECT_NE(library.Resolve(WindowExport{"export", symbol}, failure), nullptr) << symbol;
        EXPECT_EQ(failure, BF_None);
    }
    EXPECT_TRUE(g_boxes.empty());
}

TEST_F(WindowLibraryTest, AMissingFunctionIsReportedByName) {
    WindowLibrary library(PARTIAL_WINDOW_LIBRARY);
    CommandDelegate commands;
    EXPECT_FALSE(library.GuardedCall<decltype(IFnShowUI)>(
        "Show UI", WindowExports::kShowUI, std::string("skin"), 0, false, std::string("key"),
        std::string("eula"), &commands));
    ASSERT_EQ(g_boxes.size(), 1u);
    EXPECT_EQ(g_boxes[0], std::string("ERROR|Show UI: Function IFnShowUI was not found in ") +
                              PARTIAL_WINDOW_LIBRARY);
}

}  // namespace

#include "UserRegistryStore.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "OsHost.h"

namespace {

// Every test keeps to a key of its own below HKEY_CURRENT_USER and removes it afterwards.
class UserRegistryStoreWin : public ::testing::Test {
protected:
    std::string root = "Software\\LarkspurTests\\" + std::to_string(HY_OS::GetProcessId()) + "_" +
                       ::testing::UnitTest::GetInstance()->current_test_info()->name();
    UserRegistryStore store{root};

    void TearDown() override {
        std::wstring wide(root.begin(), root.end());
        RegDeleteTreeW(HKEY_CURRENT_USER, wide.c_str());
        RegDeleteKeyW(HKEY_CURRENT_USER, wide.c_str());
    }
};

TEST_F(UserRegistryStoreWin, KeyIsMissingUntilAValueIsWrittenThenOpensAndReadsBack) {
    std::string value = "unchanged";
    EXPECT_EQ(store.OpenKey("Software\\Halcyra\\StarterApp"), 2);
    EXPECT_FALSE(store.ReadString("Software\\Halcyra\\StarterApp", "Start", value));
    EXPECT_EQ(value, "unchanged");

    // Any text: spaces, tabs, line breaks, backslashes and characters outside Latin-1.
    std::string text = "C:\\Games\\Larkspur\\PatchClient\\BankB\\LarkLauncher.exe -r\t\n\xC3\xA9\xE6\x97\xA5";
    ASSERT_TRUE(store.WriteString("Software\\Halcyra\\StarterApp", "Start", text));
    EXPECT_EQ(store.OpenKey("Software\\Halcyra\\StarterApp"), 0);
    ASSERT_TRUE(store.ReadString("Software\\Halcyra\\StarterApp", "Start", value));
    EXPECT_EQ(value, text);
    ASSERT_TRUE(store.WriteString("Software\\Halcyra\\StarterApp", "Start", ""));
    ASSERT_TRUE(store.ReadString("Software\\Halcyra\\StarterApp", "Start", value));
    EXPECT_EQ(value, "");
    EXPECT_FALSE(store.ReadString("Software\\Halcyra\\StarterApp", "Other", value));
}

TEST_F(UserRegistryStoreWin, ValuesAreRealRegistryTextValuesWithTheirTerminator) {
    ASSERT_TRUE(store.WriteString("Game", "UserName", "player one"));
    std::wstring path(root.begin(), root.end());
    path += L"\\Game";
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key), ERROR_SUCCESS);
    wchar_t data[64] = {};
    DWORD type = 0, size = sizeof data;
    EXPECT_EQ(RegQueryValueExW(key, L"UserName", nullptr, &type, reinterpret_cast<BYTE*>(data), &size),
              ERROR_SUCCESS);
    RegCloseKey(key);
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(size, sizeof(L"player one"));
    EXPECT_STREQ(data, L"player one");
}

TEST_F(UserRegistryStoreWin, ValueWrittenByAnotherProgramWithoutTerminatorOrAsNumberIsReadSafely) {
    ASSERT_TRUE(store.WriteString("Game", "Seed", "x"));
    std::wstring path(root.begin(), root.end());
    path += L"\\Game";
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, KEY_WRITE, &key), ERROR_SUCCESS);
    const wchar_t unterminated[3] = {L'a', L'b', L'c'};
    RegSetValueExW(key, L"Raw", 0, REG_SZ, reinterpret_cast<const BYTE*>(unterminated), sizeof unterminated);
    DWORD number = 7;
    RegSetValueExW(key, L"Number", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), sizeof number);
    RegCloseKey(key);
    std::string value;
    ASSERT_TRUE(store.ReadString("Game", "Raw", value));
    EXPECT_EQ(value, "abc");
    EXPECT_FALSE(store.ReadString("Game", "Number", value)) << "only text values are read";
}

TEST_F(UserRegistryStoreWin, TextThatIsNotUtf8IsRefusedAndNothingIsWritten) {
    EXPECT_FALSE(store.WriteString("Game", "UserName", "\xFF\xFE bad"));
    EXPECT_EQ(store.OpenKey("Game"), 2);
    EXPECT_TRUE(store.WriteString("Game", "UserName", "good"));
    EXPECT_EQ(store.OpenKey("Game"), 0);
}

TEST(UserRegistryStoreWinDefault, DefaultStoreIsTheCurrentUsersKeyItself) {
    EXPECT_EQ(UserRegistryStore::DefaultPath(), "");
    UserRegistryStore store(UserRegistryStore::DefaultPath());
    EXPECT_EQ(store.OpenKey("Software"), 0);
}

}  // namespace

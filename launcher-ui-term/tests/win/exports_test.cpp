// The Windows window library as the launcher binds it: every export found by its symbol name in
// the built DLL, and nothing of the library's insides exported with them.
#include <gtest/gtest.h>
#include <windows.h>

#include "WindowLibraryExports.h"

namespace {

TEST(ConsoleLibrary, ExportsEveryFunctionOfTheWindowUnderItsSymbolName) {
    HMODULE library = LoadLibraryA(CONSOLE_LIBRARY);
    ASSERT_NE(library, nullptr) << CONSOLE_LIBRARY << ": error " << GetLastError();
    for (const char* symbol : WindowExportSymbols::kAll) {
        EXPECT_NE(GetProcAddress(library, symbol), nullptr) << symbol;
    }
    // Only the exports: the command sink inside is the library's own.
    EXPECT_EQ(GetProcAddress(library, "_ZN6LarkUi11CommandSink8InstanceEv"), nullptr);
    FreeLibrary(library);
}

}  // namespace

#include "OsHost.h"

#include <gtest/gtest.h>

namespace {

// The codes of the Windows versions, by family, major and minor version and product type.
TEST(OsCode, WindowsVersionsMapToTheirCodes) {
    struct Case {
        unsigned platform, major, minor;
        bool server;
        int code;
    } cases[] = {
        {2, 10, 0, false, 113}, {2, 10, 1, false, 114}, {2, 6, 1, true, 109},
        {2, 6, 0, false, 108},  {2, 6, 1, false, 110},  {2, 6, 2, false, 111},
        {2, 6, 3, false, 112},  {2, 6, 4, false, 114},  {2, 5, 0, false, 105},
        {2, 5, 1, false, 106},  {2, 5, 2, true, 107},   {2, 4, 0, false, 104},
        {2, 3, 51, false, 104}, {2, 11, 0, false, 114}, {1, 4, 0, false, 101},
        {1, 4, 10, false, 102}, {1, 4, 90, false, 103}, {1, 5, 0, false, 103},
        {1, 3, 0, false, 100},  {0, 3, 1, false, 100},  {3, 10, 0, false, 114},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(HY_OS::OsCodeForWindowsVersion(c.platform, c.major, c.minor, c.server), c.code)
            << c.platform << " " << c.major << "." << c.minor << (c.server ? " server" : "");
    }
}

// A native Linux build and the Windows build under Wine on Linux both report Linux; Windows
// itself reports one of its version codes.
TEST(OsCode, ThisSystemHasACodeOfItsFamily) {
    int code = HY_OS::GetOsCode();
    EXPECT_TRUE(code == 0 || code == 1 || (code >= 100 && code <= 114)) << code;
    EXPECT_EQ(HY_OS::GetOsCode(), code) << "computed once";
}

}  // namespace

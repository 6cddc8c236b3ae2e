// Account names, ban texts and the patch client id.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

#include "AccountName.h"
#include "BanText.h"
#include "LoginTypes.h"
#include "OsEnv.h"
#include "OsFile.h"
#include "PatchClientId.h"
#include "TempDir.h"
#include "UserRegistryStore.h"

namespace {

TEST(AccountName, CountsCodePointsRefusesInvalidUtf8AndCutsOnBoundaries) {
    size_t count = 0;
    EXPECT_TRUE(CountUtf8CodePoints("a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80", count));
    EXPECT_EQ(count, 4u);
    for (const char* bad : {"\x80", "a\xC3", "\xC0\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xFF"})
        EXPECT_FALSE(CountUtf8CodePoints(bad, count)) << bad;
    std::string name;
    for (int i = 0; i < 321; ++i) name += "\xC3\xA9";
    EXPECT_EQ(TruncateUtf8(name, 320), name.substr(0, 640));
}

TEST(LoginTypes, ErrorNameCodesAreThe31BitDjb2Hash) {
    EXPECT_EQ(ErrorNameCode("Error_AccountBanned"), 0x73491983u);  // computed outside this code
    EXPECT_EQ(ErrorNameCode("AISNoLogin"), 0x09F9FFF8u);
    EXPECT_EQ(ErrorNameCode(""), 5381u);
}

TEST(BanText, ReadsForeverAndUnitsAndShowsLocalTimeOnlyBeforeTheWindowEnd) {
    HY_OS::SetEnv("TZ", "UTC");
    tzset();
    EXPECT_EQ(BanSecondsFromTimeStamp("1d2h3m4"), 86400u + 7200u + 180u + 4u);
    EXPECT_EQ(BanSecondsFromTimeStamp("99999999999999999999999d"), UINT64_MAX) << "saturates";
    EXPECT_EQ(BanEndText("forever", 1700000000), "December 27, 1989 12:00 AM");
    EXPECT_EQ(BanEndText("315359", 0), "January 04, 1970 03:35 PM");
    EXPECT_EQ(BanEndText("315360", 0), "") << "at the window end the text is empty";
    EXPECT_EQ(BanEndText("", 1700000000), "") << "no time stamp, no end";
}

TEST(PatchClientId, IsANewGuidStoredOnceAndEmptyWhenItCannotBeStored) {
    hytest::TempDir dir;
    UserRegistryStore store(dir / "UserRegistry.txt");
    std::string id = PatchClientIdFromRegistry(store, "Software\\Halcyra", "PatchClientID");
    ASSERT_EQ(id.size(), 38u);
    EXPECT_EQ(id.front(), '{');
    EXPECT_EQ(id[9], '-');
    EXPECT_EQ(id.find_first_not_of("{}-0123456789ABCDEF"), std::string::npos);
    EXPECT_EQ(PatchClientIdFromRegistry(store, "Software\\Halcyra", "PatchClientID"), id);
    EXPECT_EQ(PatchClientIdFromRegistry(store, "", "PatchClientID"), "");

    ASSERT_TRUE(store.WriteString("K", "N", std::string(40, 'x')));  // too long for the value
    EXPECT_EQ(PatchClientIdFromRegistry(store, "K", "N").size(), 38u);

    // A store that cannot be written: below a file for the file store, a key name longer than
    // the registry's 255 characters for the registry.
    UserRegistryStore unwritable(HY_OS::JoinPath(store.Path(), "UserRegistry.txt") + "/" + std::string(300, 'k'));
    EXPECT_EQ(PatchClientIdFromRegistry(unwritable, "K", "N"), "");
}

}  // namespace

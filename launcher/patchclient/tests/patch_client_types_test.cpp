// The tables that turn login results, patcher failures and system errors into error pages, and
// the events each state expects.
#include "PatchClientTypes.h"

#include <cerrno>

#include <gtest/gtest.h>

TEST(PatchClientTypes, LoginResultsMapToTheirPages) {
    const int expected[][2] = {{1, 143}, {2, 144}, {3, 145}, {4, 146}, {5, 108},  {6, 109},
                               {7, 129}, {8, 110}, {9, 111}, {10, 130}, {11, 131}, {12, 133},
                               {13, 134}, {15, 136}, {16, 137}, {18, 142}, {19, 149}, {17, -1},
                               {0, 106},  {20, 106}, {-3, 106}};
    for (const auto& pair : expected) EXPECT_EQ(LoginResultErrorCode(pair[0]), pair[1]) << pair[0];
}

TEST(PatchClientTypes, PatchFailuresMapToTheirPages) {
    const int expected[][2] = {{1, 119}, {2, 120}, {3, 121}, {8, 122}, {9, 123}, {11, 125}, {12, 138},
                               {13, 139}, {14, 140}, {15, 141}, {16, 127}, {17, 112}, {18, 115},
                               {19, 135}, {4, 128}, {0, 128}, {99, 128}};
    for (const auto& pair : expected) EXPECT_EQ(PatchFailureErrorCode(pair[0]), pair[1]) << pair[0];
}

TEST(PatchClientTypes, SystemErrorsAndLeadCopyPages) {
    EXPECT_EQ(SystemErrorFromErrno(EACCES), 5u);
    EXPECT_EQ(SystemErrorFromErrno(EPERM), 5u);
    EXPECT_EQ(SystemErrorFromErrno(EROFS), 5u);
    EXPECT_EQ(SystemErrorFromErrno(ENOSPC), 112u);
    EXPECT_EQ(SystemErrorFromErrno(EDQUOT), 112u);
    EXPECT_EQ(SystemErrorFromErrno(ETXTBSY), 32u);
    EXPECT_EQ(SystemErrorFromErrno(ENOMEM), 8u);
    EXPECT_EQ(SystemErrorFromErrno(EIO), 266u);

    const char* line = nullptr;
    EXPECT_EQ(LeadCopyErrorCode(5, &line), 113);
    EXPECT_STREQ(line, "Fail to lead copy: ERROR_ACCESS_DENIED");
    for (uint32_t full : {8u, 14u, 39u, 112u, 0x80030070u}) {
        EXPECT_EQ(LeadCopyErrorCode(full, &line), 112) << full;
        EXPECT_STREQ(line, "Fail to lead copy: ERROR_OUTOFMEMORY/DISK.");
    }
    EXPECT_EQ(LeadCopyErrorCode(32, &line), 115);
    EXPECT_EQ(LeadCopyErrorCode(266, &line), 114);
    EXPECT_EQ(LeadCopyErrorCode(0, &line), 116);
    EXPECT_STREQ(line, "Fail to lead copy: Code %ul.");
}

TEST(PatchClientTypes, AllowedEventsPerState) {
    EXPECT_TRUE(EventAllowed(ST_Ready, ET_Start));
    EXPECT_TRUE(EventAllowed(ST_Ready, ET_ErrorStopped));
    EXPECT_FALSE(EventAllowed(ST_Ready, ET_GamePatched));
    EXPECT_TRUE(EventAllowed(ST_LeadPatching, ET_LeadChanged));
    EXPECT_TRUE(EventAllowed(ST_LeadPatching, ET_LeadUnchanged));
    EXPECT_FALSE(EventAllowed(ST_LeadCopying, ET_LeadChanged));
    EXPECT_TRUE(EventAllowed(ST_UserStopping, ET_UserStopped));
    EXPECT_FALSE(EventAllowed(ST_UserStopping, ET_LeadCopied));
    for (int event = 0; event < ET_Count; ++event) {
        EXPECT_FALSE(EventAllowed(ST_Initial, event));
        EXPECT_FALSE(EventAllowed(ST_Completed, event));
        EXPECT_FALSE(EventAllowed(ST_LaunchingNewPatchClient, event));
    }
    EXPECT_FALSE(EventAllowed(ST_Count, ET_Start));
    EXPECT_EQ(StateName(ST_Count), nullptr);
    EXPECT_STREQ(StateName(ST_UserStopping), "ST_UserStopping");
    EXPECT_STREQ(EventName(ET_ErrorStopped), "ET_ErrorStopped");
}

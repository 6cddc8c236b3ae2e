#include "HYInetAddress.h"

#include "SocketTypes.h"
#include <gtest/gtest.h>

#include "AddressMasks.h"
#include "OsEnv.h"
#include "OsHost.h"
#include "OsNetwork.h"
#include "net_test_support.h"

namespace {

uint32_t A(const char* text) {
    uint32_t address = 0;
    EXPECT_TRUE(ParseDottedQuad(text, address)) << text;
    return address;
}

const AddressPolicy kDefaults({}, {});

TEST(AddressMasks, ParsingStopsAtTheFirstBadEntry) {
    AddressMaskList list = ParseAddressMasks("10.0.0.0/255.0.0.0:172.16.0.0/255.240.0.0");
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[1].value, A("172.16.0.0"));
    EXPECT_EQ(list[1].mask, A("255.240.0.0"));

    EXPECT_EQ(ParseAddressMasks("10.0.0.0/255.0.0.0:192.168.0.0:1.0.0.0/255.0.0.0").size(), 1u)
        << "an entry without '/' ends the list";
    EXPECT_EQ(ParseAddressMasks("10.0.0/255.0.0.0").size(), 0u) << "three numbers";
    EXPECT_EQ(ParseAddressMasks("10.0.0.300/255.0.0.0").size(), 0u);
    EXPECT_EQ(ParseAddressMasks("0.0.0.0/0.0.0.0:10.0.0.0/255.0.0.0").size(), 0u)
        << "an entry parsing to 0 ends the list";
    EXPECT_EQ(ParseAddressMasks("").size(), 0u);
}

TEST(AddressMasks, OnePrivateRangeReplacesTheDefaults) {
    AddressPolicy policy({}, ParseAddressMasks("100.64.0.0/255.192.0.0"));
    EXPECT_TRUE(policy.IsPrivate(A("100.64.3.4")));
    EXPECT_TRUE(policy.IsPrivate(A("100.127.255.255")));
    EXPECT_FALSE(policy.IsPrivate(A("100.128.0.1")));
    EXPECT_FALSE(policy.IsPrivate(A("10.1.2.3")));
    EXPECT_FALSE(policy.IsPrivate(A("192.168.1.1")));

    EXPECT_TRUE(kDefaults.IsPrivate(A("10.1.2.3")));
    EXPECT_TRUE(kDefaults.IsPrivate(A("172.31.0.1")));
    EXPECT_FALSE(kDefaults.IsPrivate(A("172.32.0.1")));
    EXPECT_TRUE(kDefaults.IsPrivate(A("192.168.0.9")));
    EXPECT_TRUE(kDefaults.IsIgnored(A("127.0.0.1")));
}

TEST(AddressSelection, APreferredPrivateAddressWinsOverOtherPrivateOnes) {
    uint32_t chosen = 0;
    ASSERT_TRUE(kDefaults.SelectServerAddress({A("10.1.2.3"), A("192.168.60.7")}, chosen));
    EXPECT_EQ(DottedQuad(chosen), "192.168.60.7");

    ASSERT_TRUE(kDefaults.SelectServerAddress(
        {A("192.168.192.4"), A("192.168.60.7"), A("192.168.145.9")}, chosen));
    EXPECT_EQ(DottedQuad(chosen), "192.168.145.9");

    ASSERT_TRUE(kDefaults.SelectServerAddress({A("127.0.0.1"), A("172.16.5.5"), A("10.0.0.1")}, chosen));
    EXPECT_EQ(DottedQuad(chosen), "172.16.5.5") << "loopback is never picked; the first other private";

    ASSERT_TRUE(kDefaults.SelectServerAddress({A("8.8.8.8"), A("1.1.1.1")}, chosen));
    EXPECT_EQ(DottedQuad(chosen), "8.8.8.8") << "only public addresses: the first";

    AddressPolicy ignoring(ParseAddressMasks("192.168.60.0/255.255.255.0"), {});
    ASSERT_TRUE(ignoring.SelectServerAddress({A("192.168.60.7"), A("10.1.2.3")}, chosen));
    EXPECT_EQ(DottedQuad(chosen), "10.1.2.3");

    EXPECT_FALSE(kDefaults.SelectServerAddress({}, chosen));
}

TEST(AddressSelection, ThisMachinesPublicOrPrivateAddress) {
    uint32_t chosen = 0;
    EXPECT_FALSE(kDefaults.SelectHostAddress({A("127.0.0.1"), A("10.0.0.1")}, true, chosen));
    ASSERT_TRUE(kDefaults.SelectHostAddress({A("10.0.0.1"), A("8.8.4.4")}, true, chosen));
    EXPECT_EQ(DottedQuad(chosen), "8.8.4.4");
    ASSERT_TRUE(kDefaults.SelectHostAddress({A("8.8.4.4"), A("10.0.0.1")}, false, chosen));
    EXPECT_EQ(DottedQuad(chosen), "10.0.0.1");
}

TEST(HYInetAddress, LoopbackStaysWhenTheMachineHasNoOtherAddress) {
    nettest::ScopedLogCapture log;  // sets HY_HOSTNAME=localhost for the test programs
    EXPECT_EQ(HY_OS::GetHostName(), "localhost");
    HYInetAddress address;
    ASSERT_EQ(address.SetAddress("127.0.0.1", 4321), 0);
    EXPECT_EQ(address.ToText(true), "127.0.0.1:4321");
    EXPECT_EQ(address.ToText(false), "127.0.0.1");
    EXPECT_EQ(address.Port(), 4321);
    EXPECT_EQ(address.Family(), 2);
    EXPECT_EQ(address.Length(), 16);
    EXPECT_EQ(log->Count("HYInetAddress::SetToHost: GetHostAddr failed (error:-1) for public address."), 1);
    EXPECT_EQ(log->Count("HYInetAddress::SetToHost: GetHostAddr failed (error:-1) for private address."), 1);

    EXPECT_EQ(address.SetToHost(true), 1);
    address.Dump();
    ASSERT_EQ(log->CountPrefix("HYInetAddress::Dump this="), 1);
    EXPECT_NE(log->Texts().back().find(" Family=2 addr='127.0.0.1:4321'"), std::string::npos);
}

TEST(HYInetAddress, AnUnresolvableNameFailsWithTheResolversMessage) {
    nettest::ScopedLogCapture log;
    HYInetAddress address;
    EXPECT_EQ(address.SetAddress("no-such-host.invalid", 80), 1);
    EXPECT_EQ(log->CountPrefix("getaddrinfo(no-such-host.invalid) err="), 1);
    std::vector<uint32_t> resolved;
    EXPECT_NE(HY_OS::GetHostByName("no-such-host.invalid", resolved), 0);
    EXPECT_TRUE(resolved.empty());
}

TEST(HYInetAddress, MachineIdComesFromTheAdapterList) {
    uint8_t id[6] = {1, 2, 3, 4, 5, 6};
    ASSERT_TRUE(HY_OS::GetMachineId(id));
}

}  // namespace

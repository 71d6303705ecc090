#include "core/account/MachineFacts.h"
#include "support/ScopedEnv.h"

#include <QSysInfo>
#include <gtest/gtest.h>

using namespace account;

// Loopback, link-local, unspecified and IPv6 addresses are unusable (the
// range is not checked); then 192.168 before 172.16-31 before 10 before the
// rest, the first on ties.
TEST(ChooseLocalIp, PrefersUsablePrivateRangesInOrderAndKeepsTheFirstOnTies)
{
    EXPECT_TRUE(IsUsableIPv4("192.168.1.20") && IsUsableIPv4("300.1.1.1"));
    for (const char* ip : {"127.0.0.1", "169.254.10.20", "0.0.0.0", "fe80::1", "10.0.1", "10.a.1.1", "10..1.1"})
        EXPECT_FALSE(IsUsableIPv4(ip)) << ip;
    EXPECT_EQ(ChooseLocalIp({"172.31.0.9", "10.0.0.5"}), "172.31.0.9");
    EXPECT_EQ(ChooseLocalIp({"172.32.0.9", "10.0.0.5"}), "10.0.0.5");
    EXPECT_EQ(ChooseLocalIp({"10.0.0.5", "192.168.1.20"}), "192.168.1.20");
    EXPECT_EQ(ChooseLocalIp({"172.15.0.1", "8.8.4.4"}), "172.15.0.1");
    EXPECT_EQ(ChooseLocalIp({"192.168.1.2", "192.168.1.3"}), "192.168.1.2");
    EXPECT_EQ(ChooseLocalIp({"127.0.0.1", "::1", " 10.1.2.3 "}), "10.1.2.3");
    EXPECT_EQ(ChooseLocalIp({"127.0.0.1", "fe80::1"}), "");
}

TEST(GetMachineName, UsesComputerNameThenTheHostName)
{
    {
        testing_support::ScopedEnv name("COMPUTERNAME", "SALA-3");
        EXPECT_EQ(GetMachineName(), "SALA-3");
    }
    testing_support::ScopedEnv empty("COMPUTERNAME", "");
    const QString host = QSysInfo::machineHostName();
    EXPECT_EQ(GetMachineName(), host.isEmpty() ? QString("WINDOWS") : host);
}

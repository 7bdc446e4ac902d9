#include "platform/net/NetAddress.h"

#include "speaker/PrivateNetwork.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

using namespace zv2::platform;

namespace {

// Sets ZV2_LOOPBACK_ONLY for one test and puts the old value back.
class TGuardSetting {
public:
    explicit TGuardSetting(const char* value) {
        if (const char* old = std::getenv("ZV2_LOOPBACK_ONLY")) {
            Old_ = old;
        }
        if (value) {
            ::setenv("ZV2_LOOPBACK_ONLY", value, 1);
        } else {
            ::unsetenv("ZV2_LOOPBACK_ONLY");
        }
    }
    ~TGuardSetting() {
        if (Old_) {
            ::setenv("ZV2_LOOPBACK_ONLY", Old_->c_str(), 1);
        } else {
            ::unsetenv("ZV2_LOOPBACK_ONLY");
        }
    }

private:
    std::optional<std::string> Old_;
};

} // namespace

TEST(NetAddress, ParsesDottedLiteralsOnly) {
    const auto address = TSocketAddress::Parse("127.0.0.2", 48899);
    ASSERT_TRUE(address);
    EXPECT_EQ(address->Host, 0x7F000002u);
    EXPECT_EQ(address->ToString(), "127.0.0.2:48899");
    EXPECT_FALSE(TSocketAddress::Parse("localhost", 1));
    EXPECT_FALSE(TSocketAddress::Parse("10.10.100", 1));
    EXPECT_FALSE(TSocketAddress::Parse("10.10.100.254 ", 1));
    EXPECT_FALSE(TSocketAddress::Parse("", 1));
    EXPECT_EQ(TSocketAddress::Broadcast(5).HostText(), "255.255.255.255");
}

TEST(NetAddress, LoopbackIsTheWholeSlashEight) {
    EXPECT_TRUE(TSocketAddress::Parse("127.0.0.1", 0)->IsLoopback());
    EXPECT_TRUE(TSocketAddress::Parse("127.255.3.4", 0)->IsLoopback());
    EXPECT_FALSE(TSocketAddress::Parse("128.0.0.1", 0)->IsLoopback());
    EXPECT_FALSE(TSocketAddress::Parse("126.255.255.255", 0)->IsLoopback());
    EXPECT_FALSE(TSocketAddress::Broadcast(0).IsLoopback());
}

TEST(NetAddress, GuardIsOnUnderTestsAndAllowsOnlyLoopback) {
    ASSERT_TRUE(LoopbackOnly()) << "every test program switches the guard on in its main";
    EXPECT_TRUE(DestinationAllowed(*TSocketAddress::Parse("127.0.0.2", 80)));
    EXPECT_FALSE(DestinationAllowed(*TSocketAddress::Parse("10.10.100.254", 48899)));
    EXPECT_FALSE(DestinationAllowed(TSocketAddress::Broadcast(48899)));
}

TEST(NetAddress, GuardSettingIsReadAtEachCall) {
    {
        TGuardSetting off("0");
        EXPECT_FALSE(LoopbackOnly());
        EXPECT_TRUE(DestinationAllowed(*TSocketAddress::Parse("10.10.100.254", 48899)));
    }
    {
        TGuardSetting empty("");
        EXPECT_FALSE(LoopbackOnly());
    }
    {
        TGuardSetting unset(nullptr);
        EXPECT_FALSE(LoopbackOnly());
    }
    {
        TGuardSetting yes("yes");
        EXPECT_TRUE(LoopbackOnly());
    }
}

// Names that would need the resolver are asked in a network namespace of the
// test's own, so that even a guard that let them through could reach no name
// server.
TEST(NetAddress, ResolveUnderTheGuardTakesOnlyLiteralsAndLocalhostWithoutALookup) {
    if (!zv2::test::EnterPrivateNetwork()) {
        GTEST_SKIP() << "no private network namespace";
    }
    TGuardSetting on("1");
    TSocketAddress out;
    EXPECT_EQ(Resolve("10.10.100.254", 80, out), TNetResult::Ok) << "a literal needs no lookup";
    EXPECT_EQ(out.ToString(), "10.10.100.254:80");
    EXPECT_EQ(Resolve("localhost", 8080, out), TNetResult::Ok);
    EXPECT_EQ(out.ToString(), "127.0.0.1:8080");
    EXPECT_EQ(Resolve("LocalHost", 1, out), TNetResult::Ok);
    EXPECT_EQ(out.ToString(), "127.0.0.1:1");
    EXPECT_EQ(Resolve("music.example.com", 80, out), TNetResult::Refused);
    EXPECT_EQ(Resolve("localhost.example.com", 80, out), TNetResult::Refused);
}

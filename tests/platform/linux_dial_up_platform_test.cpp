#include "platform/linux_dial_up_platform.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "dialup/internet_probe.h"
#include "support/temp_dir.h"

namespace mailferry {
namespace {

constexpr const char* kTitles =
    "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\t\tMTU\tWindow\tIRTT"
    "                                                       \n";

std::string Table(std::initializer_list<const char*> routes) {
  std::string table = kTitles;
  for (const char* route : routes) table += std::string(route) + "\n";
  return table;
}

TEST(RouteTableTest, FindsADefaultRouteOverARealInterface) {
  struct Case {
    const char* name;
    std::string table;
    bool online;
  };
  const Case cases[] = {
      {"default over eth0",
       Table({"eth0\t00000000\t0101A8C0\t0003\t0\t0\t100\t00000000\t0\t0\t0   ",
              "eth0\t0001A8C0\t00000000\t0001\t0\t0\t100\t00FFFFFF\t0\t0\t0   "}),
       true},
      {"default after other routes, point-to-point without gateway",
       Table({"eth0\t0001A8C0\t00000000\t0001\t0\t0\t0\t00FFFFFF\t0\t0\t0",
              "ppp0\t00000000\t00000000\t0001\t0\t0\t0\t00000000\t0\t0\t0"}),
       true},
      {"only a subnet route", Table({"eth0\t0001A8C0\t00000000\t0001\t0\t0\t0\t00FFFFFF\t0\t0\t0"}),
       false},
      {"default over loopback", Table({"lo\t00000000\t00000000\t0001\t0\t0\t0\t00000000\t0\t0\t0"}),
       false},
      {"default route down", Table({"eth0\t00000000\t0101A8C0\t0002\t0\t0\t0\t00000000\t0\t0\t0"}),
       false},
      {"unreachable default", Table({"*\t00000000\t00000000\t0201\t0\t0\t0\t00000000\t0\t0\t0"}),
       false},
      {"reject flag on a real interface",
       Table({"eth0\t00000000\t00000000\t0201\t0\t0\t0\t00000000\t0\t0\t0"}), false},
      {"half of the address space is no default route",
       Table({"tun0\t00000000\t00000000\t0001\t0\t0\t0\t00000080\t0\t0\t0"}), false},
      {"titles only", Table({}), false},
      {"empty", "", false},
      {"cut-off and garbage lines",
       Table({"eth0\t00000000\t0101A8C0\t0003", "eth0 zz 0 0003 0 0 0 00000000",
              "eth0\t00000000\t0101A8C0\t0003\t0\t0\t0\t0000000G\t0\t0\t0"}),
       false},
      {"CR LF line ends",
       "Iface\tDestination\r\neth0\t00000000\t0101A8C0\t0003\t0\t0\t0\t00000000\t0\t0\t0\r\n",
       true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(RouteTableHasDefaultRoute(c.table), c.online) << c.name;
  }
}

TEST(LinuxDialUpPlatformTest, HasNoPhonebook) {
  LinuxDialUpPlatform platform;
  ASSERT_TRUE(platform.EnumEntries().has_value());
  EXPECT_TRUE(platform.EnumEntries()->empty());
  ASSERT_TRUE(platform.EnumConnections().has_value());
  EXPECT_TRUE(platform.EnumConnections()->empty());
  EXPECT_FALSE(platform.GetEntryDialParams("Office").has_value());
}

TEST(LinuxDialUpPlatformTest, OnlineProbeReadsTheRouteTableFile) {
  testing::TempDir dir;
  const auto path = (dir.path() / "route").string();
  const auto write = [&](const std::string& text) { std::ofstream(path, std::ios::trunc) << text; };
  LinuxDialUpPlatform platform(path);

  EXPECT_FALSE(platform.IsOnline());  // no file yet
  EXPECT_FALSE(IsInternetConnected(platform));

  write(Table({"eth0\t00000000\t0101A8C0\t0003\t0\t0\t100\t00000000\t0\t0\t0"}));
  EXPECT_TRUE(platform.IsOnline());
  EXPECT_TRUE(IsInternetConnected(platform));

  write(Table({"eth0\t0001A8C0\t00000000\t0001\t0\t0\t100\t00FFFFFF\t0\t0\t0"}));
  EXPECT_FALSE(IsInternetConnected(platform));  // read again at every call
}

}  // namespace
}  // namespace mailferry

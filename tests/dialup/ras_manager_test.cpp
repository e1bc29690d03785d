#include "dialup/ras_manager.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "common/list_error.h"
#include "platform/linux_dial_up_platform.h"
#include "platform/no_loop_main_thread.h"
#include "support/fake_clock.h"
#include "support/fake_dial_up_platform.h"
#include "support/fake_main_thread.h"

namespace mailferry {
namespace {

using ::testing::ElementsAre;

RasDialParams DialParamsFor(const std::string& entry_name) {
  RasDialParams params;
  params.entry_name = entry_name;
  return params;
}

class RasManagerTest : public ::testing::Test {
 protected:
  std::unique_ptr<TRasManager> Create() {
    auto manager = std::make_unique<TRasManager>(platform_, main_thread_, clock_);
    Watch(*manager);
    return manager;
  }

  // Records every event of the manager as one text.
  void Watch(TRasManager& manager) {
    manager.OnConnect = [this](TRasManager&, TRasEntry& entry) {
      events_.push_back("connect " + entry.Name);
    };
    manager.OnDisconnect = [this](TRasManager&, TRasEntry& entry) {
      events_.push_back("disconnect " + entry.Name);
    };
  }

  testing::FakeDialUpPlatform platform_;
  testing::FakeMainThread main_thread_;
  testing::FakeClock clock_{45000.25};
  std::vector<std::string> events_;
};

TEST_F(RasManagerTest, CreationListsEntriesAndReadsTheirProperties) {
  platform_.entries = {{"Office", "Home", "Backup"}};
  platform_.size_answers["Home"] = RasPropertiesSize{kRasBufferTooSmall, 500};
  platform_.properties["Office"] =
      RasEntryProperties{49, "030", "1234567", "modem", "Fast Modem 56k"};
  auto manager = Create();

  ASSERT_EQ(manager->EntryCount(), 3);
  EXPECT_EQ(manager->EntryName(0), "Office");
  EXPECT_EQ(manager->EntryName(1), "Home");
  EXPECT_EQ(manager->EntryName(2), "Backup");
  const TRasEntry& office = manager->Entries().Items(0);
  EXPECT_EQ(office.CountryCode, 49);
  EXPECT_EQ(office.AreaCode, "030");
  EXPECT_EQ(office.PhoneNumber, "1234567");
  EXPECT_EQ(office.DeviceType, "modem");
  EXPECT_EQ(office.DeviceName, "Fast Modem 56k");
  // A failed read leaves the entry as it was created.
  const TRasEntry& home = manager->Entries().Items(1);
  EXPECT_FALSE(home.Connected);
  EXPECT_EQ(home.Handle, 0u);
  EXPECT_EQ(home.StatusTime, 45000.25);
  EXPECT_EQ(home.IPAddress, "0.0.0.0");
  EXPECT_EQ(home.ServerIPAddress, "0.0.0.0");
  EXPECT_EQ(home.DeviceName, "");
  EXPECT_EQ(home.PhoneNumber, "");
  EXPECT_EQ(home.CountryCode, 0);

  // Entries first, then the connection states, then each entry's properties with a record of
  // the size asked for but never smaller than the minimum.
  EXPECT_THAT(platform_.calls,
              ElementsAre("EnumEntries", "EnumConnections", "QueryEntryPropertiesSize Office",
                          "ReadEntryProperties Office 2088", "QueryEntryPropertiesSize Home",
                          "ReadEntryProperties Home 1796", "QueryEntryPropertiesSize Backup",
                          "ReadEntryProperties Backup 2088"));

  ASSERT_EQ(main_thread_.timers().size(), 1u);
  EXPECT_EQ(main_thread_.timers()[0]->Interval(), 1000);
  EXPECT_FALSE(manager->Monitoring());
}

TEST_F(RasManagerTest, FailedEnumerationLeavesNoEntries) {
  platform_.entries = std::nullopt;
  auto manager = Create();
  EXPECT_EQ(manager->EntryCount(), 0);
  EXPECT_EQ(manager->IndexOfEntry("Office"), -1);
  EXPECT_THAT(platform_.calls, ElementsAre("EnumEntries", "EnumConnections"));
}

TEST_F(RasManagerTest, FailedPropertiesQueryAbortsCreation) {
  for (const int answer : {kRasOk, kRasUnavailable, 87}) {
    SCOPED_TRACE(answer);
    platform_.entries = {{"Office", "Home \"2\""}};
    platform_.size_answers["Home \"2\""] = RasPropertiesSize{answer, 4000};
    platform_.calls.clear();
    try {
      TRasManager manager(platform_, main_thread_, clock_);
      ADD_FAILURE() << "creation did not fail";
    } catch (const EMfException& e) {
      EXPECT_STREQ(e.what(), "Call of RasGetEntryProperties failed for \"Home \"2\"\"");
    }
    EXPECT_EQ(platform_.calls.back(), "QueryEntryPropertiesSize Home \"2\"");
    EXPECT_TRUE(main_thread_.timers().empty());
  }
}

TEST_F(RasManagerTest, SeesAtMostAHundredEntriesAndEachNameOnce) {
  std::vector<std::string> names;
  for (int i = 0; i < 150; ++i) names.push_back("Entry " + std::to_string(i));
  names.insert(names.begin() + 1, "Entry 0");  // a repeated name adds nothing
  platform_.entries = names;
  auto manager = Create();

  ASSERT_EQ(manager->EntryCount(), 99);
  EXPECT_EQ(manager->EntryName(0), "Entry 0");
  EXPECT_EQ(manager->EntryName(1), "Entry 1");
  EXPECT_EQ(manager->EntryName(98), "Entry 98");
  EXPECT_EQ(manager->IndexOfEntry("Entry 99"), -1);
}

TEST_F(RasManagerTest, LongNamesAreCutConsistently) {
  const std::string long_name(300, 'x');
  platform_.entries = {{long_name}};
  platform_.SetConnected(long_name, 7);
  auto manager = Create();
  EXPECT_EQ(manager->EntryName(0), std::string(256, 'x'));
  EXPECT_TRUE(manager->Entries().Items(0).Connected);
  EXPECT_EQ(manager->Entries().Items(0).Handle, 7u);
}

TEST_F(RasManagerTest, IndexOfEntryIsCaseSensitive) {
  platform_.entries = {{"Office", "office"}};
  auto manager = Create();
  EXPECT_EQ(manager->IndexOfEntry("Office"), 0);
  EXPECT_EQ(manager->IndexOfEntry("office"), 1);
  EXPECT_EQ(manager->IndexOfEntry("OFFICE"), -1);
  EXPECT_EQ(manager->IndexOfEntry(""), -1);
}

TEST_F(RasManagerTest, ConnectionUpAtCreationIsReportedByStartMonitoringBeforeTheTimerRuns) {
  platform_.entries = {{"A", "B", "C"}};
  platform_.SetConnected("C", 31);
  platform_.SetConnected("A", 11);
  platform_.projections[11] = RasIpProjection{"10.0.0.2", "10.0.0.1"};
  auto manager = Create();

  const TRasEntry& a = manager->Entries().Items(0);
  EXPECT_TRUE(a.Connected);
  EXPECT_EQ(a.Handle, 11u);
  EXPECT_EQ(a.IPAddress, "10.0.0.2");
  EXPECT_EQ(a.ServerIPAddress, "10.0.0.1");
  EXPECT_TRUE(events_.empty());

  std::vector<bool> monitoring_during_event;
  manager->OnConnect = [&](TRasManager& sender, TRasEntry& entry) {
    EXPECT_EQ(&sender, manager.get());
    events_.push_back("connect " + entry.Name);
    monitoring_during_event.push_back(sender.Monitoring());
  };
  manager->StartMonitoring();
  EXPECT_THAT(events_, ElementsAre("connect A", "connect C"));  // list order
  EXPECT_THAT(monitoring_during_event, ElementsAre(false, false));
  EXPECT_TRUE(manager->Monitoring());
  EXPECT_TRUE(main_thread_.timers()[0]->Enabled());
}

TEST_F(RasManagerTest, RefreshFiresEventsInListOrderAndResetsDisconnectedEntries) {
  platform_.entries = {{"A", "B", "C", "D"}};
  platform_.properties["A"] = RasEntryProperties{1, "2", "3", "isdn", "ISDN card"};
  platform_.SetConnected("A", 11);
  platform_.projections[11] = RasIpProjection{"10.0.0.2", "10.0.0.1"};
  auto manager = Create();
  EXPECT_EQ(manager->Entries().Items(0).DeviceName, "ISDN card");

  clock_.set_now(45001.5);
  platform_.SetDisconnected("A");
  platform_.SetConnected("C", 33);
  platform_.SetConnected("B", 22);
  platform_.projections[22] = RasIpProjection{"192.0.2.7", "192.0.2.1"};
  platform_.calls.clear();
  manager->RefreshConnections();

  EXPECT_THAT(events_, ElementsAre("disconnect A", "connect B", "connect C"));
  // Projections are asked for in the platform's order of connections.
  EXPECT_THAT(platform_.calls,
              ElementsAre("EnumConnections", "GetIpProjection 33", "GetIpProjection 22"));
  const TRasEntry& a = manager->Entries().Items(0);
  EXPECT_FALSE(a.Connected);
  EXPECT_EQ(a.Handle, 0u);
  EXPECT_EQ(a.IPAddress, "0.0.0.0");
  EXPECT_EQ(a.ServerIPAddress, "0.0.0.0");
  EXPECT_EQ(a.DeviceName, "");
  EXPECT_EQ(a.DeviceType, "");
  EXPECT_EQ(a.PhoneNumber, "3");  // only the device fields are cleared
  EXPECT_EQ(a.StatusTime, 45001.5);
  const TRasEntry& b = manager->Entries().Items(1);
  EXPECT_TRUE(b.Connected);
  EXPECT_EQ(b.Handle, 22u);
  EXPECT_EQ(b.IPAddress, "192.0.2.7");
  EXPECT_EQ(b.ServerIPAddress, "192.0.2.1");
  EXPECT_EQ(b.StatusTime, 45001.5);
  const TRasEntry& c = manager->Entries().Items(2);
  EXPECT_TRUE(c.Connected);
  EXPECT_EQ(c.Handle, 33u);
  EXPECT_EQ(c.IPAddress, "0.0.0.0");                            // its projection failed
  EXPECT_EQ(manager->Entries().Items(3).StatusTime, 45000.25);  // unchanged entry

  // Nothing changed: no events, but handle and addresses follow the platform.
  events_.clear();
  platform_.SetConnected("B", 23);
  platform_.projections[23] = RasIpProjection{"192.0.2.8", "192.0.2.1"};
  manager->RefreshConnections();
  EXPECT_TRUE(events_.empty());
  EXPECT_EQ(b.Handle, 23u);
  EXPECT_EQ(b.IPAddress, "192.0.2.8");
  EXPECT_EQ(b.StatusTime, 45001.5);
}

TEST_F(RasManagerTest, FailedConnectionEnumerationMeansEverythingDisconnected) {
  platform_.entries = {{"A"}};
  platform_.SetConnected("A", 11);
  auto manager = Create();
  platform_.connections = std::nullopt;
  manager->RefreshConnections();
  EXPECT_THAT(events_, ElementsAre("disconnect A"));
  EXPECT_FALSE(manager->Entries().Items(0).Connected);
}

TEST_F(RasManagerTest, RefreshComparesNamesWithoutCaseButTakesHandlesOnlyFromExactNames) {
  platform_.entries = {{"Office"}};
  auto manager = Create();
  platform_.SetConnected("OFFICE", 44);
  platform_.SetConnected("Elsewhere", 55);
  platform_.projections[44] = RasIpProjection{"10.1.1.1", "10.1.1.2"};
  platform_.calls.clear();
  manager->RefreshConnections();

  EXPECT_THAT(events_, ElementsAre("connect Office"));
  const TRasEntry& office = manager->Entries().Items(0);
  EXPECT_TRUE(office.Connected);
  EXPECT_EQ(office.Handle, 0u);
  EXPECT_EQ(office.IPAddress, "0.0.0.0");
  // Neither connection names an entry exactly, so no projection is asked for.
  EXPECT_THAT(platform_.calls, ElementsAre("EnumConnections"));

  // Marked connected without a handle: hanging up has nothing to end.
  platform_.calls.clear();
  manager->HangUp(0);
  EXPECT_TRUE(platform_.calls.empty());
}

TEST_F(RasManagerTest, PollsAtMostAHundredConnections) {
  struct Case {
    int position;  // of the entry's connection in the platform's list
    bool connected;
  };
  for (const Case& c : {Case{99, true}, Case{100, false}}) {
    SCOPED_TRACE(c.position);
    platform_.entries = {{"Target"}};
    platform_.connections.emplace();
    for (int i = 0; i < 150; ++i) {
      const std::string name = i == c.position ? "Target" : "Other " + std::to_string(i);
      platform_.connections->push_back(RasConnectionInfo{static_cast<RasHandle>(i + 1), name});
    }
    TRasManager manager(platform_, main_thread_, clock_);
    EXPECT_EQ(manager.Entries().Items(0).Connected, c.connected);
  }
}

TEST_F(RasManagerTest, TimerTicksRefreshWhileMonitoring) {
  platform_.entries = {{"A"}};
  auto manager = Create();
  platform_.SetConnected("A", 11);

  EXPECT_EQ(main_thread_.FireTimers(), 0);  // created stopped
  EXPECT_TRUE(events_.empty());

  manager->StartMonitoring();
  EXPECT_EQ(main_thread_.FireTimers(), 1);
  EXPECT_THAT(events_, ElementsAre("connect A"));

  manager->StopMonitoring();
  platform_.SetDisconnected("A");
  EXPECT_EQ(main_thread_.FireTimers(), 0);
  EXPECT_FALSE(manager->Monitoring());
  EXPECT_THAT(events_, ElementsAre("connect A"));
}

TEST_F(RasManagerTest, WithoutAnEventLoopMonitoringNeverPolls) {
  platform_.entries = {{"A"}};
  NoLoopMainThread no_loop;
  TRasManager manager(platform_, no_loop, clock_);
  Watch(manager);
  manager.StartMonitoring();
  platform_.SetConnected("A", 11);
  const std::size_t calls_after_start = platform_.calls.size();
  manager.StopMonitoring();
  manager.StartMonitoring();
  EXPECT_TRUE(manager.Monitoring());
  EXPECT_EQ(platform_.calls.size(), calls_after_start);
  EXPECT_FALSE(manager.Entries().Items(0).Connected);
  EXPECT_TRUE(events_.empty());
}

TEST_F(RasManagerTest, DialStartsTheEntryWithItsStoredParameters) {
  platform_.entries = {{"A", "B"}};
  platform_.dial_params["B"] = RasDialParams{"B", "555-0100", "", "joe", "secret", "", true};
  platform_.next_dial_handle = 77;
  auto manager = Create();
  platform_.calls.clear();

  manager->Dial(1);
  EXPECT_THAT(platform_.calls, ElementsAre("GetEntryDialParams B", "Dial B"));
  ASSERT_EQ(platform_.dials.size(), 1u);
  EXPECT_EQ(platform_.dials[0].params.user_name, "joe");
  EXPECT_EQ(platform_.dials[0].params.password, "secret");
  const TRasEntry& b = manager->Entries().Items(1);
  EXPECT_EQ(b.Handle, 77u);
  EXPECT_FALSE(b.Connected);  // only a refresh marks it connected

  // Not marked connected yet, so hanging up right after dialling does nothing.
  platform_.calls.clear();
  manager->HangUp(1);
  EXPECT_TRUE(platform_.calls.empty());
}

TEST_F(RasManagerTest, DialSkipsConnectedEntriesAndUnreadableParameters) {
  platform_.entries = {{"Up", "NoParams"}};
  platform_.SetConnected("Up", 11);
  platform_.dial_params["Up"] = DialParamsFor("Up");
  auto manager = Create();
  platform_.calls.clear();

  manager->Dial(0);
  EXPECT_TRUE(platform_.calls.empty());

  manager->Dial(1);
  EXPECT_THAT(platform_.calls, ElementsAre("GetEntryDialParams NoParams"));
  EXPECT_TRUE(platform_.dials.empty());
}

TEST_F(RasManagerTest, HangUpEndsAConnectedEntrysConnection) {
  platform_.entries = {{"A"}};
  platform_.SetConnected("A", 11);
  auto manager = Create();
  manager->HangUp(0);
  EXPECT_THAT(platform_.hang_ups, ElementsAre(11u));
  // The entry stays connected until a refresh no longer finds it.
  EXPECT_TRUE(manager->Entries().Items(0).Connected);
}

TEST_F(RasManagerTest, BadIndexFailsBeforeAnyPlatformCall) {
  platform_.entries = {{"A", "B"}};
  platform_.SetConnected("A", 11);
  platform_.dial_params["B"] = DialParamsFor("B");
  auto manager = Create();
  platform_.calls.clear();

  const std::vector<std::pair<const char*, std::function<void(int)>>> operations = {
      {"Dial", [&](int index) { manager->Dial(index); }},
      {"HangUp", [&](int index) { manager->HangUp(index); }},
      {"EntryName", [&](int index) { manager->EntryName(index); }},
  };
  for (const auto& [name, operation] : operations) {
    for (const int index : {-1, 2, 100}) {
      SCOPED_TRACE(std::string(name) + " " + std::to_string(index));
      try {
        operation(index);
        ADD_FAILURE() << "no error";
      } catch (const EListError& e) {
        EXPECT_EQ(std::string(e.what()),
                  "List index out of bounds (" + std::to_string(index) + ")");
      }
    }
  }
  EXPECT_TRUE(platform_.calls.empty());
}

TEST_F(RasManagerTest, DialProgressReachesTheManagerThatDialledLast) {
  platform_.entries = {{"A", "B"}};
  platform_.dial_params["A"] = DialParamsFor("A");
  platform_.dial_params["B"] = DialParamsFor("B");
  auto first = Create();
  auto second = Create();
  std::vector<std::string> reports;
  auto record = [&](const char* who) {
    return [&reports, who](TRasManager&, int index, int msg, int state, int error) {
      reports.push_back(std::string(who) + " " + std::to_string(index) + " " + std::to_string(msg) +
                        " " + std::to_string(state) + " " + std::to_string(error));
    };
  };
  first->OnConnecting = record("first");
  second->OnConnecting = record("second");

  first->Dial(1);
  platform_.dials[0].progress(0xCCCD, 1, 0);
  second->Dial(0);
  platform_.dials[0].progress(0xCCCD, 2, 0);  // the first dial's report
  platform_.dials[1].progress(0xCCCD, 8192, 678);
  EXPECT_THAT(reports,
              ElementsAre("first 1 52429 1 0", "second 0 52429 2 0", "second 0 52429 8192 678"));

  // Reports for a manager that is gone are dropped.
  second.reset();
  platform_.dials[1].progress(0xCCCD, 8192, 0);
  EXPECT_EQ(reports.size(), 3u);
}

TEST_F(RasManagerTest, DialProgressMayArriveOnAnotherThread) {
  platform_.entries = {{"A"}};
  platform_.dial_params["A"] = DialParamsFor("A");
  auto manager = Create();
  std::vector<int> states;
  manager->OnConnecting = [&](TRasManager& sender, int index, int, int state, int) {
    EXPECT_EQ(&sender, manager.get());
    EXPECT_EQ(index, 0);
    states.push_back(state);
  };
  manager->Dial(0);
  std::thread platform_thread([&] {
    for (int state = 0; state < 3; ++state) platform_.dials[0].progress(0xCCCD, state, 0);
  });
  platform_thread.join();
  EXPECT_THAT(states, ElementsAre(0, 1, 2));
}

TEST(RasManagerOnLinuxTest, HasNoEntries) {
  LinuxDialUpPlatform platform;
  NoLoopMainThread no_loop;
  testing::FakeClock clock;
  TRasManager manager(platform, no_loop, clock);
  EXPECT_EQ(manager.EntryCount(), 0);
  EXPECT_EQ(manager.IndexOfEntry("Office"), -1);
  EXPECT_THROW(manager.Dial(-1), EListError);

  // The program's own managers use the process-wide ports, which are the Linux ones here.
  TRasManager process_manager;
  EXPECT_EQ(process_manager.EntryCount(), 0);
  process_manager.StartMonitoring();
  EXPECT_TRUE(process_manager.Monitoring());
}

}  // namespace
}  // namespace mailferry

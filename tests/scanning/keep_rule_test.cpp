#include "scanning/keep_rule.h"

#include <gtest/gtest.h>

#include <vector>

#include "common/date_time.h"

namespace mailferry {
namespace {

TEST(KeepRuleTest, DeletesByTheAccountsKeepSettingsAndTheMessagesAge) {
  const double now = *EncodeDate(2024, 3, 15) + *EncodeTime(10, 30, 0);
  const double hour = 1.0 / 24;
  struct Case {
    const char* name;
    bool keep_messages;
    int keep_days;
    double date;
    bool deleted;
  };
  const std::vector<Case> cases = {
      {"keep off deletes a new message", false, 7, now, true},
      {"keep off deletes even with no limit", false, 0, now - 100, true},
      {"no limit keeps an old message", true, 0, now - 1000, false},
      {"a negative limit keeps too", true, -3, now - 1000, false},
      {"7 days 23 hours old is kept under 7", true, 7, now - 7 - 23 * hour, false},
      {"exactly 7 days old is kept under 7", true, 7, now - 7, false},
      {"8 days old is deleted under 7", true, 7, now - 8, true},
      {"8 days to the millisecond is deleted", true, 7,
       *EncodeDate(2024, 3, 7) + *EncodeTime(10, 30, 0), true},
      {"a date in the future is kept", true, 1, now + 3, false},
      {"no date reads as 1899 and is deleted", true, 1, 0, true},
      {"no date is deleted under a month", true, 31, 0, true},
      {"one day old is kept under 1", true, 1, now - 1 - 23 * hour, false},
      {"two days old is deleted under 1", true, 1, now - 2, true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ShouldDeleteMessage(c.keep_messages, c.keep_days, c.date, now), c.deleted) << c.name;
  }
}

}  // namespace
}  // namespace mailferry

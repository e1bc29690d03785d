#include "transport/http_cookies.h"

#include <gtest/gtest.h>

#include <optional>

#include "common/date_time.h"
#include "support/fake_clock.h"

namespace mailferry {
namespace {

using testing::FakeClock;

double Day(int year, int month, int day, int hour = 0, int minute = 0, int second = 0) {
  return *EncodeDate(year, month, day) + *EncodeTime(hour, minute, second);
}

class CookieStoreTest : public ::testing::Test {
 protected:
  // 2024-03-01 12:00 local time, one hour east of UTC.
  FakeClock clock_{Day(2024, 3, 1, 12), 60};
  HttpCookieStore store_{clock_};
};

TEST_F(CookieStoreTest, ACookieComesBackToItsHostAndPath) {
  store_.SetCookie("session=abc; path=/Mailferry/", "updates.example.net", "/Mailferry/");
  EXPECT_EQ(store_.CookieHeader("updates.example.net", "/Mailferry/"), "session=abc");
  EXPECT_EQ(store_.CookieHeader("updates.example.net", "/Mailferry/sub/"), "session=abc");
  EXPECT_EQ(store_.CookieHeader("updates.example.net", "/"), "");
  EXPECT_EQ(store_.CookieHeader("other.example.net", "/Mailferry/"), "");
}

TEST_F(CookieStoreTest, ACookieWithoutPathBelongsToTheRequestPath) {
  store_.SetCookie("id=7", "h", "/Mailferry/");
  ASSERT_EQ(store_.Cookies().size(), 1u);
  EXPECT_EQ(store_.Cookies()[0].path, "/Mailferry/");
  EXPECT_EQ(store_.Cookies()[0].domain, "h");
  EXPECT_EQ(store_.CookieHeader("h", "/Mailferry/"), "id=7");
}

TEST_F(CookieStoreTest, AttributesAreReadWithoutRegardToCase) {
  store_.SetCookie(" a = 1 ; PATH=\"/p/\"; Domain=.example.net; SECURE", "www.example.net", "/");
  ASSERT_EQ(store_.Cookies().size(), 1u);
  const HttpCookie& cookie = store_.Cookies()[0];
  EXPECT_EQ(cookie.name, "a");
  EXPECT_EQ(cookie.value, "1");
  EXPECT_EQ(cookie.path, "/p/");
  EXPECT_EQ(cookie.domain, ".example.net");
  EXPECT_TRUE(cookie.secure);
  EXPECT_FALSE(cookie.expires.has_value());
}

TEST_F(CookieStoreTest, OnlyADomainThatFitsTheHostIsStored) {
  struct Case {
    const char* host;
    const char* domain;
    bool stored;
  } const cases[] = {
      {"www.example.net", "www.example.net", true},
      {"www.example.net", "WWW.Example.NET", true},
      {"www.example.net", ".example.net", true},
      {"www.example.net", "example.net", false},
      {"www.example.net", ".net", false},
      {"a.b.example.net", ".example.net", false},
      {"www.example.net", ".other.net", false},
      {"127.0.0.1", "127.0.0.1", true},
      {"127.0.0.1", ".0.0.1", false},
  };
  for (const Case& c : cases) {
    HttpCookieStore store(clock_);
    store.SetCookie(std::string("n=v; domain=") + c.domain, c.host, "/");
    EXPECT_EQ(store.Cookies().size(), c.stored ? 1u : 0u) << c.host << " " << c.domain;
  }
}

TEST_F(CookieStoreTest, ACookieIsSentOnlyToHostsOfItsDomain) {
  store_.SetCookie("n=v; domain=.example.net; path=/", "www.example.net", "/");
  EXPECT_EQ(store_.CookieHeader("www.example.net", "/"), "n=v");
  EXPECT_EQ(store_.CookieHeader("WWW.EXAMPLE.NET", "/"), "n=v");
  EXPECT_EQ(store_.CookieHeader("mail.example.net", "/"), "n=v");
  EXPECT_EQ(store_.CookieHeader("badexample.net", "/"), "");
  EXPECT_EQ(store_.CookieHeader("example.net.attacker.org", "/"), "");
}

TEST_F(CookieStoreTest, ASameNamedCookieOfTheSameDomainIsReplaced) {
  store_.SetCookie("n=1; path=/", "h", "/");
  store_.SetCookie("other=x; path=/", "h", "/");
  store_.SetCookie("n=2; path=/", "h", "/");
  EXPECT_EQ(store_.CookieHeader("h", "/"), "other=x; n=2");
}

TEST_F(CookieStoreTest, LongerPathsComeFirst) {
  store_.SetCookie("a=1; path=/", "h", "/");
  store_.SetCookie("b=2; path=/Mailferry/", "h", "/");
  store_.SetCookie("c=3; path=/Mailferry/x/", "h", "/");
  EXPECT_EQ(store_.CookieHeader("h", "/Mailferry/x/"), "c=3; b=2; a=1");
}

TEST_F(CookieStoreTest, SecureAndEmptyCookiesAreNotSent) {
  store_.SetCookie("s=1; path=/; secure", "h", "/");
  store_.SetCookie("e=; path=/", "h", "/");
  store_.SetCookie("=nameless; path=/", "h", "/");
  EXPECT_EQ(store_.Cookies().size(), 2u);
  EXPECT_EQ(store_.CookieHeader("h", "/"), "");
}

TEST_F(CookieStoreTest, AnExpiredCookieIsDroppedBeforeTheNextRequest) {
  // Local noon is 11:00 UTC; 12:30 UTC is 13:30 local, and max-age=60 ends at 12:01 local.
  store_.SetCookie("late=1; path=/; expires=Fri, 01 Mar 2024 12:30:00 GMT", "h", "/");
  store_.SetCookie("soon=2; path=/; max-age=60", "h", "/");
  EXPECT_EQ(store_.CookieHeader("h", "/"), "late=1; soon=2");
  clock_.set_now(Day(2024, 3, 1, 12, 2));
  EXPECT_EQ(store_.CookieHeader("h", "/"), "late=1");
  clock_.set_now(Day(2024, 3, 1, 13, 30));
  EXPECT_EQ(store_.CookieHeader("h", "/"), "");
  EXPECT_TRUE(store_.Cookies().empty());
}

TEST_F(CookieStoreTest, ExpiresWinsOverMaxAge) {
  store_.SetCookie("n=1; path=/; max-age=600; expires=Fri, 01 Mar 2024 11:01:00 GMT", "h", "/");
  clock_.set_now(Day(2024, 3, 1, 12, 2));
  EXPECT_EQ(store_.CookieHeader("h", "/"), "");
}

TEST_F(CookieStoreTest, ACookieThatArrivesExpiredDeletesTheStoredOne) {
  store_.SetCookie("n=1; path=/", "h", "/");
  store_.SetCookie("n=; path=/; expires=Thu, 01 Jan 1970 00:00:00 GMT", "h", "/");
  EXPECT_TRUE(store_.Cookies().empty());
  store_.SetCookie("m=1; path=/", "h", "/");
  store_.SetCookie("m=1; path=/; max-age=0", "h", "/");
  EXPECT_TRUE(store_.Cookies().empty());
}

TEST(CookieDateTest, ReadsTheUsualFormsAndRejectsBrokenOnes) {
  struct Case {
    const char* text;
    std::optional<double> utc;
  } const cases[] = {
      {"Sun, 06 Nov 1994 08:49:37 GMT", Day(1994, 11, 6, 8, 49, 37)},
      {"Sunday, 06-Nov-94 08:49:37 GMT", Day(1994, 11, 6, 8, 49, 37)},
      {"Sun Nov  6 08:49:37 1994", Day(1994, 11, 6, 8, 49, 37)},
      {"Wed, 09-Jun-2021 10:18:14 GMT", Day(2021, 6, 9, 10, 18, 14)},
      {"Thu, 01 Jan 70 00:00:00 GMT", Day(1970, 1, 1)},
      {"Mon, 01 Jan 29 00:00:00 GMT", Day(2029, 1, 1)},
      {"Fri, 30 Feb 2024 00:00:00 GMT", std::nullopt},
      {"Fri, 01 Mar 2024 24:00:00 GMT", std::nullopt},
      {"Fri, 01 Mar 1600 00:00:00 GMT", std::nullopt},
      {"Fri, 01 Xyz 2024 00:00:00 GMT", std::nullopt},
      {"01 Mar 2024", std::nullopt},
      {"", std::nullopt},
      {"12345678901234567890 Mar 2024 1:2:3", std::nullopt},
  };
  for (const Case& c : cases) {
    const std::optional<double> parsed = ParseCookieDate(c.text);
    ASSERT_EQ(parsed.has_value(), c.utc.has_value()) << c.text;
    if (parsed) {
      EXPECT_NEAR(*parsed, *c.utc, 1e-9) << c.text;
    }
  }
}

TEST_F(CookieStoreTest, AnUnreadableExpiryLeavesASessionCookie) {
  store_.SetCookie("n=1; path=/; expires=someday", "h", "/");
  ASSERT_EQ(store_.Cookies().size(), 1u);
  EXPECT_FALSE(store_.Cookies()[0].expires.has_value());
}

}  // namespace
}  // namespace mailferry

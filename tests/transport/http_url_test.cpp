#include "transport/http_url.h"

#include <gtest/gtest.h>

#include "transport/http_exceptions.h"

namespace mailferry {
namespace {

struct SplitCase {
  const char* url;
  const char* protocol;
  const char* username;
  const char* password;
  const char* host;
  int port;
  const char* path;
  const char* document;
  const char* query;
};

class SplitUrlTest : public ::testing::TestWithParam<SplitCase> {};

TEST_P(SplitUrlTest, SplitsIntoItsParts) {
  const SplitCase& c = GetParam();
  const HttpUrl url = SplitUrl(c.url);
  EXPECT_EQ(url.protocol, c.protocol);
  EXPECT_EQ(url.username, c.username);
  EXPECT_EQ(url.password, c.password);
  EXPECT_EQ(url.host, c.host);
  EXPECT_EQ(url.port, c.port);
  EXPECT_EQ(url.path, c.path);
  EXPECT_EQ(url.document, c.document);
  EXPECT_EQ(url.query, c.query);
  EXPECT_EQ(url.RequestTarget(), std::string(c.path) + c.document + c.query);
}

INSTANTIATE_TEST_SUITE_P(
    Urls, SplitUrlTest,
    ::testing::Values(
        SplitCase{"http://updates.example.net/Mailferry/TestVersion.asp?version=1.00", "http", "",
                  "", "updates.example.net", 80, "/Mailferry/", "TestVersion.asp", "?version=1.00"},
        SplitCase{"http://h:8080/a/b.html#part", "http", "", "", "h", 8080, "/a/", "b.html", ""},
        SplitCase{"https://h/x", "https", "", "", "h", 443, "/", "x", ""},
        SplitCase{"HTTP://h/", "HTTP", "", "", "h", 80, "/", "", ""},
        SplitCase{"http://anna:se:cret@h:81/d/", "http", "anna", "se:cret", "h", 81, "/d/", "", ""},
        SplitCase{"http:\\\\h\\dir\\doc.htm", "http", "", "", "h", 80, "/dir/", "doc.htm", ""},
        SplitCase{"http://h", "http", "", "", "h", 80, "/", "", ""},
        SplitCase{"http://h?q=/x", "http", "", "", "h", 80, "/", "", "?q=/x"},
        SplitCase{"http://h/a/p?q=/x/y", "http", "", "", "h", 80, "/a/", "p", "?q=/x/y"},
        // Without a query the path ends at the last "/" before an "=".
        SplitCase{"http://h/a/b=c/d", "http", "", "", "h", 80, "/a/", "b=c/d", ""},
        SplitCase{"http://h:/x", "http", "", "", "h", 80, "/", "x", ""},
        SplitCase{"ftp://h:21/x", "ftp", "", "", "h", 21, "/", "x", ""}));

TEST(SplitUrlFailureTest, ASchemeWithoutDefaultPortIsUnknown) {
  EXPECT_THROW(SplitUrl("ftp://h/x"), EMfUnknownProtocol);
  EXPECT_THROW(SplitUrl("h/x"), EMfUnknownProtocol);
}

TEST(SplitUrlFailureTest, APortMustBeANumberFrom1To65535) {
  for (const char* url :
       {"http://h:abc/", "http://h:0/", "http://h:65536/", "http://h:-1/", "http://h:123456/"}) {
    EXPECT_THROW(SplitUrl(url), EMfInvalidPort) << url;
  }
  EXPECT_EQ(SplitUrl("http://h:65535/").port, 65535);
}

}  // namespace
}  // namespace mailferry

#include "message/email_address.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "message/message_errors.h"

namespace mailferry {
namespace {

struct Parsed {
  std::string name;
  std::string address;
  bool operator==(const Parsed&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Parsed& p) {
  return out << "{name '" << p.name << "', address '" << p.address << "'}";
}

TMfEMailAddressItem Item(std::string name, std::string address) {
  TMfEMailAddressItem item;
  item.SetName(std::move(name));
  item.SetAddress(std::move(address));
  return item;
}

std::vector<Parsed> Items(const TMfEMailAddressList& list) {
  std::vector<Parsed> items;
  for (int i = 0; i < list.Count(); ++i) items.push_back({list[i].Name(), list[i].Address()});
  return items;
}

TEST(EMailAddressItemTest, FormatAddressQuotesOnlyLocalPartsThatNeedIt) {
  struct Case {
    const char* address;
    const char* name;
    const char* expected;
  } cases[] = {
      {"js@x", "", "js@x"},
      {"js@x", "John", "<js@x>"},
      {"a b@x", "", "<\"a b\"@x>"},
      {"a b@x", "Name", "<\"a b\"@x>"},
      // The first character outside the atom set is a full stop: no quoting at all.
      {"first.last@x", "", "first.last@x"},
      {"first.last@x", "N", "<first.last@x>"},
      {"a.b c@x", "", "a.b c@x"},
      {"a\"b\\c@x", "", "<\"a\\\"b\\\\c\"@x>"},
      // Only the last "@" separates the domain.
      {"a@b@x", "", "<\"a@b\"@x>"},
      {"postmaster", "", ""},
      {"postmaster", "Post", "<>"},
      {"", "Name", "<>"},
      {"", "", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Item(c.name, c.address).FormatAddress(), c.expected)
        << "address '" << c.address << "' name '" << c.name << "'";
  }
}

TEST(EMailAddressItemTest, TextReadsNameAndAddressQuotingWhereNeeded) {
  struct Case {
    const char* name;
    const char* address;
    const char* expected;
  } cases[] = {
      {"", "js@x", "js@x"},
      {"John Smith", "js@x", "John Smith <js@x>"},
      {"Smith, John", "js@x", "\"Smith, John\" <js@x>"},
      {"X Y", "a b@x", "X Y <\"a b\"@x>"},
      {"say \"hi\"", "a@x", "\"say \\\"hi\\\"\" <a@x>"},
      {"back\\slash", "a@x", "\"back\\\\slash\" <a@x>"},
      {"M\xC3\xBCller", "m@x", "\"M\xC3\xBCller\" <m@x>"},
      // A name that is just the address upper-cased is not shown.
      {"JS@X", "js@x", "<js@x>"},
      {"js@x", "js@x", "\"js@x\" <js@x>"},
      {"", "postmaster", ""},
      {"Post", "postmaster", "Post <>"},
      {"Name", "", "Name <>"},
      {"", "", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Item(c.name, c.address).Text(), c.expected)
        << "name '" << c.name << "' address '" << c.address << "'";
  }
}

TEST(EMailAddressItemTest, SetTextSplitsNameAndAddress) {
  struct Case {
    const char* text;
    Parsed expected;
  } cases[] = {
      {"John Smith <js@x>", {"John Smith", "js@x"}},
      {"\"Smith, John\" <js@x>", {"Smith, John", "js@x"}},
      {"  js@x  ", {"", "js@x"}},
      // Comments never become names after an address.
      {"js@x (John)", {"", "js@x"}},
      {"first.last@x.com (First Last)", {"", "first.last@x.com"}},
      {"John (Jr) <j@x>", {"John", "j@x"}},
      {"John(Jr)<j@x>", {"John", "j@x"}},
      {"\"a\\\"b\" <x@y>", {"a\"b", "x@y"}},
      {"<\"a b\"@x>", {"", "a b@x"}},
      {"<js@mail . example.com>", {"", "js@mail.example.com"}},
      {"Name <>", {"Name", ""}},
      {"<>", {"", ""}},
      {"(only a comment)", {"", ""}},
      {"postmaster", {"", "postmaster"}},
      {"", {"", ""}},
      {" \t\r\n", {"", ""}},
      // Unbalanced quotes and brackets end the scan.
      {"\"John <j@x>", {"", ""}},
      {"John <j@x", {"John", "j@"}},
  };
  for (const auto& c : cases) {
    TMfEMailAddressItem item = Item("old name", "old@address");
    item.SetText(c.text);
    EXPECT_EQ((Parsed{item.Name(), item.Address()}), c.expected) << "text '" << c.text << "'";
  }
}

TEST(EMailAddressItemTest, TextReadBackParsesToTheSameItem) {
  const TMfEMailAddressItem items[] = {
      Item("John Smith", "js@x"),   Item("Smith, John", "js@x"), Item("X Y", "a b@x"),
      Item("", "first.last@x.com"), Item("a\\b", "a@x"),
  };
  for (const auto& original : items) {
    TMfEMailAddressItem copy;
    copy.SetText(original.Text());
    EXPECT_EQ(copy.Name(), original.Name()) << original.Text();
    EXPECT_EQ(copy.Address(), original.Address()) << original.Text();
  }
}

TEST(EMailAddressItemTest, AtOutsideAngleBracketsRaisesAndKeepsWhatWasParsed) {
  TMfEMailAddressItem item;
  try {
    item.SetText("<a@x> b@y");
    FAIL() << "no error raised";
  } catch (const EMfEmailParseError& e) {
    EXPECT_STREQ(e.what(), "@ Outside address");
  }
  EXPECT_EQ(item.Address(), "a@x");
  EXPECT_EQ(item.Name(), "");
  // The error belongs to the family every caller catches.
  EXPECT_THROW(item.SetText("Name <a@x> more@y"), EMfException);
}

TEST(EMailAddressListTest, ParseAddressesSplitsAtCommasOutsideQuotesAndComments) {
  struct Case {
    const char* text;
    std::vector<Parsed> expected;
  } cases[] = {
      {"a@x, b@y", {{"", "a@x"}, {"", "b@y"}}},
      {"a@x,\tb@y", {{"", "a@x"}, {"", "b@y"}}},
      {", , a@x", {{"", "a@x"}}},
      // The piece before the unquoted comma has no "@" and reads empty: it is dropped.
      {"Smith, John <js@x>", {{"John", "js@x"}}},
      {"\"a,b\" <x@y>, c@d", {{"a,b", "x@y"}, {"", "c@d"}}},
      {"\"a\\\"b\" <x@y>, c@d", {{"a\"b", "x@y"}, {"", "c@d"}}},
      {"a@x (Smith, J), b@y", {{"", "a@x"}, {"", "b@y"}}},
      {"John Smith <js@x>", {{"John Smith", "js@x"}}},
      {"Name <>", {{"Name", ""}}},
      {"Group: a@x, b@y;", {{"", "a@x"}, {"", "b@y"}}},
      {"Group: a@x; b@y", {{"", "a@x"}, {"", "b@y"}}},
      {"undisclosed-recipients:;", {}},
      {"Friends: (none);", {}},
      {"<>, a@x", {{"", "a@x"}}},
      {"\"unterminated, a@x", {}},
      {"   ", {}},
      {"", {}},
  };
  for (const auto& c : cases) {
    TMfEMailAddressList list;
    list.Add().SetAddress("left@over");
    list.ParseAddresses(c.text);
    EXPECT_EQ(Items(list), c.expected) << "text '" << c.text << "'";
  }
}

TEST(EMailAddressListTest, ValueWithoutSeparatorsIsAlwaysOneItem) {
  for (const char* text : {"<>", "js@x", "postmaster", "<js@x>"}) {
    TMfEMailAddressList list;
    list.ParseAddresses(text);
    ASSERT_EQ(list.Count(), 1) << text;
  }
  TMfEMailAddressList list;
  list.ParseAddresses("<>");
  EXPECT_EQ(list[0].Address(), "");
  EXPECT_EQ(list[0].Name(), "");
}

TEST(EMailAddressListTest, ParseErrorKeepsEarlierItemsAndTheFailingOne) {
  TMfEMailAddressList list;
  EXPECT_THROW(list.ParseAddresses("c@z, <a@x> b@y, d@w"), EMfEmailParseError);
  ASSERT_EQ(list.Count(), 2);
  EXPECT_EQ(list[0].Address(), "c@z");
  EXPECT_EQ(list[1].Address(), "a@x");
}

TEST(EMailAddressListTest, ItemsKeepTheirPlaceAndIdentity) {
  TMfEMailAddressList list;
  TMfEMailAddressItem& first = list.Add();
  first.SetAddress("a@x");
  for (int i = 0; i < 100; ++i) list.Add().SetAddress("n" + std::to_string(i) + "@x");
  EXPECT_EQ(&list[0], &first);
  EXPECT_EQ(first.Address(), "a@x");
  EXPECT_TRUE(list.Add().Address().empty());
  EXPECT_EQ(list.Count(), 102);

  list.Delete(0);
  EXPECT_EQ(list[0].Address(), "n0@x");
  EXPECT_EQ(list.Count(), 101);
  EXPECT_THROW(list.Delete(101), std::out_of_range);
  EXPECT_THROW(list.Delete(-1), std::out_of_range);
  EXPECT_THROW(list[101], std::out_of_range);

  TMfEMailAddressList copy = list;
  copy[0].SetAddress("changed@x");
  EXPECT_EQ(list[0].Address(), "n0@x");

  list.Clear();
  EXPECT_EQ(list.Count(), 0);
  EXPECT_EQ(copy.Count(), 101);
}

TEST(EMailAddressListTest, ThousandsOfRecipientsParseInOrder) {
  std::string value;
  constexpr int kCount = 5000;
  for (int i = 0; i < kCount; ++i) {
    if (i > 0) value += ", ";
    value += "\"User " + std::to_string(i) + "\" <u" + std::to_string(i) + "@example.com>";
  }
  TMfEMailAddressList list;
  list.ParseAddresses(value);
  ASSERT_EQ(list.Count(), kCount);
  EXPECT_EQ(list[kCount - 1].Name(), "User " + std::to_string(kCount - 1));
  EXPECT_EQ(list[kCount - 1].Address(), "u" + std::to_string(kCount - 1) + "@example.com");
}

}  // namespace
}  // namespace mailferry

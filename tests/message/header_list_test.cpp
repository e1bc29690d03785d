#include "message/header_list.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace mailferry {
namespace {

using Lines = std::vector<std::string>;

TMfHeaderList ListOf(const Lines& lines) {
  TMfHeaderList list;
  for (const auto& line : lines) list.Add(line);
  return list;
}

// Twenty words of four letters separated by single blanks.
std::string TwentyWords() {
  std::string text;
  for (int i = 0; i < 20; ++i) {
    if (i > 0) text += ' ';
    text += std::string(4, static_cast<char>('a' + i));
  }
  return text;
}

// True when no multi-byte UTF-8 sequence in text is cut short or starts without a lead byte.
bool HoldsWholeUtf8Sequences(const std::string& text) {
  std::size_t i = 0;
  while (i < text.size()) {
    const auto c = static_cast<unsigned char>(text[i]);
    std::size_t size = 1;
    if (c >= 0xF0) {
      size = 4;
    } else if (c >= 0xE0) {
      size = 3;
    } else if (c >= 0xC0) {
      size = 2;
    } else if (c >= 0x80) {
      return false;
    }
    if (i + size > text.size()) return false;
    for (std::size_t k = 1; k < size; ++k) {
      if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return false;
    }
    i += size;
  }
  return true;
}

TEST(HeaderListTest, NameFromLineIsUpperCasedAndUntrimmed) {
  struct Case {
    const char* line;
    bool case_sensitive;
    const char* expected;
  } cases[] = {
      {"Subject: x", false, "SUBJECT"}, {"Subject : x", false, "SUBJECT "},
      {"X-Test:", false, "X-TEST"},     {"Time: 10:30", false, "TIME"},
      {"no colon here", false, ""},     {" continued: x", false, " CONTINUED"},
      {"Subject: x", true, "Subject"},
  };
  for (const auto& c : cases) {
    TMfHeaderList list = ListOf({c.line});
    list.SetCaseSensitive(c.case_sensitive);
    EXPECT_EQ(list.NameFromLine(0), c.expected) << c.line;
  }
}

TEST(HeaderListTest, ValueFromLineJoinsContinuationLines) {
  struct Case {
    Lines lines;
    int index;
    const char* expected;
  } cases[] = {
      {{"Subject:x"}, 0, "x"},
      {{"Subject: Hello", "\tWorld"}, 0, "Hello World"},
      {{"To: a,", " b,", "\t c ,", "   d  "}, 0, "a, b, c , d"},
      {{"X-Test:"}, 0, ""},
      {{"A:  padded \t"}, 0, "padded"},
      {{"A: 1", "B: 2"}, 0, "1"},
      // An empty line continues nothing; a blank-only continuation adds nothing.
      {{"A: 1", "", " 2"}, 0, "1"},
      {{"A:", "   ", " x"}, 0, "x"},
      {{"A: 1", " 2", "B: 3"}, 1, "2"},
      {{"A: 1"}, -1, ""},
      {{"A: 1"}, 1, ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ListOf(c.lines).ValueFromLine(c.index), c.expected) << c.lines[0];
  }

  TMfHeaderList list = ListOf({"Subject: Hello", "\tWorld"});
  list.SetUnfoldLines(false);
  EXPECT_EQ(list.ValueFromLine(0), "Hello");
}

TEST(HeaderListTest, LookupFindsTheFirstHeaderIgnoringCase) {
  const TMfHeaderList list = ListOf({"Received: from a", "\tby b: c", "To: first@x",
                                     "Subject : spaced", "X-Test:", "to: second@x"});
  struct Case {
    const char* name;
    int index;
    const char* value;
  } cases[] = {
      {"TO", 2, "first@x"},
      {"to", 2, "first@x"},
      {"x-test", 4, ""},
      {"received", 0, "from a by b: c"},
      // 'Subject : spaced' has the name 'SUBJECT ' and so matches no header.
      {"Subject", -1, ""},
      {"Subject ", 3, "spaced"},
      {"by b", -1, ""},
      {"Missing", -1, ""},
      {"To: first@x", -1, ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(list.IndexOfName(c.name), c.index) << c.name;
    EXPECT_EQ(list.GetValue(c.name), c.value) << c.name;
  }
}

TEST(HeaderListTest, SetValueReplacesAppendsAndDeletes) {
  struct Case {
    const char* what;
    Lines before;
    const char* name;
    const char* value;
    Lines after;
  } cases[] = {
      {"replace a folded header in place",
       {"A: 1", "To: x,", " y,", "\tz", "B: 2"},
       "To",
       "new@x",
       {"A: 1", "To: new@x", "B: 2"}},
      {"the caller's spelling of the name", {"CC: x", "B: 2"}, "Cc", "y", {"Cc: y", "B: 2"}},
      {"only the first of two", {"To: a", "To: b"}, "to", "c", {"to: c", "To: b"}},
      {"append when absent", {"A: 1"}, "X-New", "v", {"A: 1", "X-New: v"}},
      {"append to an empty list", {}, "X-New", "v", {"X-New: v"}},
      {"delete with continuation lines, keep the second header",
       {"To: a", " b", "X: 1", "To: second"},
       "to",
       "",
       {"X: 1", "To: second"}},
      {"deleting an absent header does nothing", {"A: 1"}, "B", "", {"A: 1"}},
  };
  for (const auto& c : cases) {
    TMfHeaderList list = ListOf(c.before);
    list.SetValue(c.name, c.value);
    EXPECT_EQ(list.Lines(), c.after) << c.what;
  }
}

TEST(HeaderListTest, SetValueWithoutFoldingTouchesOneLine) {
  TMfHeaderList list = ListOf({"To: a", " b", "X: 1"});
  list.SetFoldLines(false);
  list.SetValue("To", "c " + TwentyWords());
  EXPECT_EQ(list.Lines(), (Lines{"To: c " + TwentyWords(), " b", "X: 1"}));
  list.SetValue("To", "");
  EXPECT_EQ(list.Lines(), (Lines{" b", "X: 1"}));
}

TEST(HeaderListTest, TwentyFourLetterWordsFoldIntoTwoLines) {
  TMfHeaderList list = ListOf({"A: 1", "Subject: old", " old continued", "B: 2"});
  list.SetValue("Subject", TwentyWords());

  ASSERT_EQ(list.Count(), 4);
  EXPECT_EQ(list[0], "A: 1");
  EXPECT_EQ(list[1].size(), 73u);
  EXPECT_EQ(list[1], "Subject: " + TwentyWords().substr(0, 64));
  EXPECT_EQ(list[2], " " + TwentyWords().substr(65));
  EXPECT_EQ(list[3], "B: 2");
  EXPECT_EQ(list.GetValue("subject"), TwentyWords());
}

TEST(HeaderListTest, WrapTextBreaksOutsideQuotesAfterBreakCharacters) {
  struct Case {
    const char* what;
    const char* line;
    const char* break_string;
    int limit;
    const char* expected;
  } cases[] = {
      {"short line", "aaa bbb", "\r\n ", 78, "aaa bbb"},
      {"after the last blank before the limit", "aaa bbb ccc ddd", "\r\n ", 10,
       "aaa bbb \r\n ccc ddd"},
      {"commas break too", "a@x,b@y,c@z,d@w", "\r\n ", 10, "a@x,b@y,\r\n c@z,d@w"},
      {"no break character: one line", "aaaaaaaaaaaaaaaaaaaaaaaa", "\r\n ", 10,
       "aaaaaaaaaaaaaaaaaaaaaaaa"},
      {"cut at the first break after the limit", "aaaaaaaaaaaa bbb ccc", "\r\n ", 10,
       "aaaaaaaaaaaa \r\n bbb ccc"},
      {"a quoted section is never cut", "a \"b c d e f g\" h i", "\r\n ", 5,
       "a \r\n \"b c d e f g\" \r\n h i"},
      {"an unclosed quote stops wrapping", "a \"b c d e f g h i", "\r\n ", 5,
       "a \"b c d e f g h i"},
      {"blanks at a break begin the next line", "Xx: aaaaa   bbbbb", "\r\n ", 10,
       "Xx: aaaaa \r\n   bbbbb"},
      {"an existing break restarts the column", "aaaaaaaa\r\n bb cc dd", "\r\n ", 10,
       "aaaaaaaa\r\n bb cc dd"},
      {"existing breaks compare without case", "aaaa<br>bbbb cccc dd", "<BR>", 8,
       "aaaa<br>bbbb <BR>cccc dd"},
      {"one character left after the break stays on the line", "aaaaaa b", "\r\n ", 5, "aaaaaa b"},
      {"empty line", "", "\r\n ", 10, ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(TMfHeaderList::WrapText(c.line, c.break_string, "\t ,", c.limit), c.expected)
        << c.what;
  }
}

TEST(HeaderListTest, FoldLineCutsAtLineBreaksAndTrimsLineEnds) {
  struct Case {
    const char* what;
    std::string text;
    Lines expected;
  } cases[] = {
      {"short", "X: a", {"X: a"}},
      {"empty", "", {""}},
      {"an existing break with a tab",
       "Content-Type: text/plain;\r\n\tcharset=\"X\"",
       {"Content-Type: text/plain;", "\tcharset=\"X\""}},
      {"a trailing line break adds no line", "X: a\r\n", {"X: a"}},
      // An empty line would end the header block early.
      {"blank-only pieces are left out", "X: a\r\n \r\n b\r\n\r\nc", {"X: a", " b", "c"}},
      {"long value",
       "Subject: " + TwentyWords(),
       {"Subject: " + TwentyWords().substr(0, 64), " " + TwentyWords().substr(65)}},
  };
  const TMfHeaderList list;
  for (const auto& c : cases) EXPECT_EQ(list.FoldLine(c.text), c.expected) << c.what;
}

TEST(HeaderListTest, FoldLengthIsTheColumnLimit) {
  TMfHeaderList http;
  http.SetFoldLength(1024);
  http.SetValue("Subject", TwentyWords());
  EXPECT_EQ(http.Lines(), (Lines{"Subject: " + TwentyWords()}));
}

TEST(HeaderListTest, FoldingNeverSplitsAUtf8Character) {
  std::string subject;
  for (int i = 0; i < 40; ++i) subject += "Gr\xC3\xBC\xC3\x9F\xE2\x82\xAC ";
  subject += "\xF0\x9F\x98\x80";
  TMfHeaderList list;
  list.SetValue("Subject", subject);
  ASSERT_GT(list.Count(), 2);
  for (const auto& line : list.Lines()) EXPECT_TRUE(HoldsWholeUtf8Sequences(line)) << line;
  EXPECT_EQ(list.GetValue("Subject"), subject);
}

TEST(HeaderListTest, FoldAndInsertAndDeleteFoldedLinesKeepTheOrder) {
  TMfHeaderList list = ListOf({"A: 1", "B: 2", "C: 3"});
  list.FoldAndInsert("Subject: " + TwentyWords(), 1);
  EXPECT_EQ(list.Lines(), (Lines{"A: 1", "Subject: " + TwentyWords().substr(0, 64),
                                 " " + TwentyWords().substr(65), "C: 3"}));
  list.FoldAndInsert("Z: end", list.Count());
  EXPECT_EQ(list[list.Count() - 1], "Z: end");
  EXPECT_THROW(list.FoldAndInsert("Z: x", list.Count() + 1), std::out_of_range);

  TMfHeaderList folded = ListOf({"A: x", " 1", "\t2", "", " 3", "B: y"});
  folded.DeleteFoldedLines(0);
  EXPECT_EQ(folded.Lines(), (Lines{"A: x", "", " 3", "B: y"}));
  folded.DeleteFoldedLines(-1);
  folded.DeleteFoldedLines(10);
  EXPECT_EQ(folded.Count(), 4);
}

TEST(HeaderListTest, ExtractValuesCollectsEveryHeaderOfAName) {
  const TMfHeaderList list = ListOf({"Received: a", " b", "X: 1", "received: c", "Received : d"});
  std::vector<std::string> values = {"kept"};
  list.ExtractValues("RECEIVED", &values);
  EXPECT_EQ(values, (Lines{"kept", "a b", "c"}));
  list.ExtractValues("Received", nullptr);
}

TEST(HeaderListTest, LineOperationsAndSettingsSurviveClear) {
  TMfHeaderList list;
  list.SetNameValueSeparator(" = ");
  EXPECT_EQ(list.Add("a = 1"), 0);
  list.Insert(0, "first");
  list.Insert(2, "last");
  EXPECT_EQ(list.Lines(), (Lines{"first", "a = 1", "last"}));
  EXPECT_EQ(list.GetValue("a"), "1");
  list.Delete(0);
  list.SetLine(1, "b = 2");
  EXPECT_EQ(list.Lines(), (Lines{"a = 1", "b = 2"}));
  EXPECT_THROW(list.Insert(4, "x"), std::out_of_range);
  EXPECT_THROW(list.Delete(2), std::out_of_range);
  EXPECT_THROW(list[-1], std::out_of_range);

  list.AddStrings(list);
  EXPECT_EQ(list.Count(), 4);
  TMfHeaderList copy;
  copy.Assign(list);
  EXPECT_EQ(copy.Lines(), list.Lines());

  list.Clear();
  EXPECT_EQ(list.Count(), 0);
  list.SetValue("c", "3");
  EXPECT_EQ(list.Lines(), (Lines{"c = 3"}));
}

TEST(HeaderListTest, ThousandsOfRecipientsFoldAndReadBack) {
  std::string value;
  for (int i = 0; i < 5000; ++i) {
    if (i > 0) value += ", ";
    value += "\"User " + std::to_string(i) + "\" <u" + std::to_string(i) + "@example.com>";
  }
  TMfHeaderList list = ListOf({"Received: x", "To: old"});
  list.SetValue("To", value);
  EXPECT_GT(list.Count(), 1000);
  for (const auto& line : list.Lines()) EXPECT_LE(line.size(), 80u) << line;
  EXPECT_EQ(list.GetValue("To"), value);
  list.SetValue("to", "");
  EXPECT_EQ(list.Lines(), (Lines{"Received: x"}));
}

}  // namespace
}  // namespace mailferry

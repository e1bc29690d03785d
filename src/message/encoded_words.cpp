#include "message/encoded_words.h"

#include <algorithm>
#include <array>
#include <cstdint>

#include "common/mf_exception.h"
#include "message/coders.h"
#include "message/jis.h"

namespace mailferry {
namespace {

constexpr std::size_t kNone = std::string_view::npos;

// Encoded words are broken before a line would pass this many characters.
constexpr std::size_t kEncodedLineLimit = 75;

constexpr char kHexDigits[] = "0123456789ABCDEF";

char AsciiUpper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; }

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return AsciiUpper(x) == AsciiUpper(y);
         });
}

bool IsUtf8Charset(std::string_view charset) {
  return EqualsIgnoringCase(charset, "UTF-8") || EqualsIgnoringCase(charset, "UTF8");
}

// Finds a pattern from a position on and remembers the answer. The decoder's searches only
// move forward, so with the answer reused while it still holds, every stretch of the text is
// scanned once however many "=?" starts it holds.
class ForwardFinder {
 public:
  ForwardFinder(std::string_view text, std::string_view pattern) : text_(text), pattern_(pattern) {}

  std::size_t From(std::size_t from) {
    if (!(searched_ && from >= from_ && (found_ == kNone || from <= found_))) {
      found_ = text_.find(pattern_, from);
      from_ = from;
      searched_ = true;
    }
    return found_;
  }

 private:
  std::string_view text_;
  std::string_view pattern_;
  bool searched_ = false;
  std::size_t from_ = 0;
  std::size_t found_ = kNone;
};

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// The Q text of a word, which still ends with the closing "?=".
std::string DecodeQ(std::string_view encoded) {
  std::string out;
  if (encoded.size() <= 2) return out;  // nothing between the third "?" and the "?="
  std::size_t j = 0;
  do {
    const char c = encoded[j];
    if (c == '_') {
      out.push_back(' ');
      ++j;
    } else if (c == '=' && encoded.size() - j - 1 >= 4) {
      const int high = HexValue(encoded[j + 1]);
      const int low = HexValue(encoded[j + 2]);
      if (high < 0 || low < 0) {
        throw EMfException("'$" + std::string(encoded.substr(j + 1, 2)) +
                           "' is not a valid integer value");
      }
      out.push_back(static_cast<char>(high * 16 + low));
      j += 3;
    } else {
      out.push_back(c);
      ++j;
    }
  } while (encoded.substr(j, 2) != "?=");
  return out;
}

constexpr std::array<uint8_t, 256> MakeBase64Values() {
  constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::array<uint8_t, 256> values{};
  for (uint8_t i = 0; i < 64; ++i) values[static_cast<uint8_t>(kAlphabet[i])] = i;
  return values;
}

constexpr std::array<uint8_t, 256> kBase64Values = MakeBase64Values();

// The B text of a word, closing "?=" included: every full group of four gives three bytes,
// fill and closing characters count as 0 (their NUL bytes are removed later), and a short
// remainder is ignored.
std::string DecodeB(std::string_view encoded) {
  std::string out;
  out.reserve(encoded.size() / 4 * 3);
  for (std::size_t j = 0; j + 4 <= encoded.size(); j += 4) {
    uint32_t w = 0;
    for (std::size_t k = 0; k < 4; ++k)
      w = (w << 6) | kBase64Values[static_cast<uint8_t>(encoded[j + k])];
    out.push_back(static_cast<char>(w >> 16));
    out.push_back(static_cast<char>(w >> 8));
    out.push_back(static_cast<char>(w));
  }
  return out;
}

// The charset of a word without an RFC 2231 language suffix ("ISO-8859-1*de").
std::string_view WordCharset(std::string_view charset) {
  return charset.substr(0, charset.find('*'));
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// The length of the character that starts at text[i]: a whole UTF-8 sequence in a UTF-8
// charset (a broken one counts byte by byte), one byte otherwise.
std::size_t CharacterLength(std::string_view text, std::size_t i, bool utf8) {
  const auto lead = static_cast<uint8_t>(text[i]);
  if (!utf8 || lead < 0xC0 || lead > 0xF7) return 1;
  const std::size_t expected = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
  std::size_t length = 1;
  while (length < expected && i + length < text.size() &&
         (static_cast<uint8_t>(text[i + length]) & 0xC0) == 0x80) {
    ++length;
  }
  return length;
}

class WordEncoder {
 public:
  WordEncoder(std::string_view specials, char letter, std::string_view charset)
      : specials_(specials),
        q_(AsciiUpper(letter) == 'Q'),
        utf8_(IsUtf8Charset(charset)),
        begin_("=?" + std::string(charset) + "?" + letter + "?") {}

  bool NeedsEncoding(char c) const {
    const auto b = static_cast<uint8_t>(c);
    return b < 32 || b > 126 || specials_.find(c) != kNone;
  }

  // Appends the run as one or more encoded words, breaking the line before it would pass the
  // limit and never inside a character.
  void Encode(std::string_view run, std::string& out) const {
    out.append(begin_);
    std::size_t length = begin_.size() + 2;
    bool word_has_text = false;
    const auto next_line = [&] {
      out.append("?=\r\n\t");
      out.append(begin_);
      length = begin_.size() + 2;
    };
    if (q_) {
      std::string piece;
      for (std::size_t i = 0; i < run.size();) {
        const std::size_t n = CharacterLength(run, i, utf8_);
        piece.clear();
        for (char c : run.substr(i, n)) AppendQ(c, piece);
        i += n;
        if (word_has_text && length + piece.size() > kEncodedLineLimit) next_line();
        out.append(piece);
        length += piece.size();
        word_has_text = true;
      }
    } else {
      // As many whole three-byte groups as fit the line, then a new word; a UTF-8 word ends
      // early rather than split a character, and then carries its own padding.
      const std::size_t groups =
          std::max<std::size_t>(1, (kEncodedLineLimit - std::min(kEncodedLineLimit, length)) / 4);
      const std::size_t chunk_limit = groups * 3;
      std::size_t i = 0;
      while (i < run.size()) {
        std::size_t end = i;
        while (end < run.size()) {
          const std::size_t n = CharacterLength(run, end, utf8_);
          if (end + n - i > chunk_limit && end > i) break;
          end += n;
        }
        if (word_has_text) next_line();
        out.append(Base64Encode(run.substr(i, end - i)));
        word_has_text = true;
        i = end;
      }
    }
    out.append("?=");
  }

 private:
  void AppendQ(char c, std::string& piece) const {
    if (c == ' ') {
      piece.push_back('_');
    } else if (NeedsEncoding(c) || c == '=' || c == '?' || c == '_') {
      const auto b = static_cast<uint8_t>(c);
      piece.push_back('=');
      piece.push_back(kHexDigits[b >> 4]);
      piece.push_back(kHexDigits[b & 15]);
    } else {
      piece.push_back(c);
    }
  }

  std::string_view specials_;
  bool q_;
  bool utf8_;
  std::string begin_;
};

}  // namespace

HeaderCharset ChooseHeaderCharset(const LocaleLanguage& locale) {
  if (locale.CodePageIsUtf8()) return {"UTF-8", 'Q', false};
  const std::string language = locale.Language();
  if (language == "zh") {
    const std::string region = locale.Region();
    // The simplified script is written in mainland China and Singapore.
    if (region == "CN" || region == "SG") return {"GB2312", 'B', false};
    return {"Big5", 'B', false};
  }
  if (language == "ja") return {"ISO-2022-JP", 'B', true};
  if (language == "ko") return {"EUC-KR", 'B', false};
  return {"ISO-8859-1", 'Q', false};
}

std::string DecodeHeader(std::string_view text, const HeaderCharset& charset) {
  std::string out;
  out.reserve(text.size());
  ForwardFinder starts(text, "=?");
  ForwardFinder charset_ends(text, "?");
  ForwardFinder letter_ends(text, "?");
  ForwardFinder word_ends(text, "?=");
  std::size_t copied = 0;  // text before this position is in out
  std::size_t search = 0;
  std::size_t last_word_end = 0;  // just after the last decoded word, 0 before the first
  for (;;) {
    const std::size_t a = starts.From(search);
    if (a == kNone) break;
    // Once one of these is missing, no later start can complete a word either.
    const std::size_t b1 = charset_ends.From(a + 2);
    if (b1 == kNone) break;
    const std::size_t b2 = letter_ends.From(b1 + 1);
    if (b2 == kNone) break;
    const std::size_t c = word_ends.From(b2 + 1);
    if (c == kNone) break;
    const std::string_view word_charset = WordCharset(text.substr(a + 2, b1 - a - 2));
    if (!EqualsIgnoringCase(word_charset, charset.name)) {
      // Another charset: the word stays as it is, and the search moves on past its start.
      search = a + 2;
      continue;
    }
    const std::string_view encoded = text.substr(b2 + 1, c + 2 - (b2 + 1));
    std::string decoded = AsciiUpper(text[b1 + 1]) == 'Q' ? DecodeQ(encoded) : DecodeB(encoded);
    if (EqualsIgnoringCase(word_charset, "ISO-2022-JP")) decoded = JisToShiftJis(decoded);
    // White space between two decoded words only separates the words (RFC 2047, 6.2): long
    // texts are split into several words at any character, often inside a word.
    const std::string_view between = text.substr(copied, a - copied);
    const bool joins_previous_word = copied != 0 && copied == last_word_end &&
                                     std::all_of(between.begin(), between.end(), IsBlank);
    if (!joins_previous_word) out.append(between);
    out.append(decoded);
    // The decoded text is not searched again: a word that decodes to "=?...?=" stays so.
    copied = search = last_word_end = c + 2;
  }
  out.append(text.substr(copied));
  std::erase(out, '\0');
  return out;
}

std::string EncodeHeader(std::string_view text, std::string_view specials, char letter,
                         bool jis_conversion, std::string_view charset) {
  const std::string s = jis_conversion ? ShiftJisToJis(text) : std::string(text);
  if (letter == '8') return s;
  const WordEncoder encoder(specials, letter, charset);
  std::string t;
  t.reserve(s.size() * 2);
  bool encoding = false;
  std::size_t encode_start = 0;
  std::size_t pos = 0;
  while (pos < s.size()) {
    const std::size_t q = pos;
    while (pos < s.size() && IsBlank(s[pos])) ++pos;
    const std::size_t r = pos;
    bool needs_encoding = false;
    while (pos < s.size() && !IsBlank(s[pos])) needs_encoding |= encoder.NeedsEncoding(s[pos++]);
    if (needs_encoding) {
      // Blanks inside a run of such words are encoded with them.
      if (!encoding) {
        t.append(s, q, r - q);
        encoding = true;
        encode_start = r;
      }
    } else {
      if (encoding) {
        encoder.Encode(std::string_view(s).substr(encode_start, q - encode_start), t);
        encoding = false;
      }
      t.append(s, q, pos - q);
    }
  }
  if (encoding) encoder.Encode(std::string_view(s).substr(encode_start), t);
  return t;
}

std::string EncodeAddressItem(const TMfEMailAddressItem& item, const HeaderCharset& choice) {
  const std::string& name = item.Name();
  if (name.empty()) return item.Address();
  const bool needs_encoding = std::any_of(name.begin(), name.end(), [](char c) {
    const auto b = static_cast<uint8_t>(c);
    return b < 32 || b > 126;
  });
  std::string text;
  if (needs_encoding) {
    text = EncodeHeader(name, kAddressSpecials, choice.letter, choice.jis_conversion, choice.name);
  } else {
    text.push_back('"');
    for (char c : name) {
      if (c == '\\' || c == '"') text.push_back('\\');
      text.push_back(c);
    }
    text.push_back('"');
  }
  return text + " <" + item.Address() + ">";
}

std::string EncodeAddressList(const TMfEMailAddressList& list, const HeaderCharset& choice) {
  std::string text;
  for (int i = 0; i < list.Count(); ++i) {
    if (i > 0) text.append(", ");
    text.append(EncodeAddressItem(list[i], choice));
  }
  return text;
}

}  // namespace mailferry

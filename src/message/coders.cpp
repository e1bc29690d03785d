#include "message/coders.h"

#include <array>
#include <bit>
#include <cstdint>
#include <cstring>

#include "common/mf_exception.h"

namespace mailferry {
namespace {

constexpr char kBase64Alphabet[] =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr char kXXAlphabet[] = "+-0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
constexpr char kHexDigits[] = "0123456789ABCDEF";

// Base64 decoding works on whole 24-bit groups: each character's table entry already holds its
// 6-bit value shifted into place for its position in the group, so a group is four lookups and
// three ORs. The top byte flags the characters that need a closer look.
constexpr uint32_t kPadFlag = 1u << 24;
constexpr uint32_t kSpaceFlag = 1u << 25;
constexpr uint32_t kFlags = kPadFlag | kSpaceFlag;

using ShiftedTable = std::array<uint32_t, 256>;

constexpr ShiftedTable MakeShiftedTable(int shift) {
  ShiftedTable table{};  // characters outside the alphabet count as 0
  for (uint32_t i = 0; i < 64; ++i) {
    table[static_cast<uint8_t>(kBase64Alphabet[i])] = i << shift;
  }
  table['='] = kPadFlag;
  for (char c : {' ', '\t', '\r', '\n'}) table[static_cast<uint8_t>(c)] = kSpaceFlag;
  return table;
}

constexpr ShiftedTable kDecode0 = MakeShiftedTable(18);
constexpr ShiftedTable kDecode1 = MakeShiftedTable(12);
constexpr ShiftedTable kDecode2 = MakeShiftedTable(6);
constexpr ShiftedTable kDecode3 = MakeShiftedTable(0);

// Base64 encoding looks up two characters at a time from 12 bits of input.
using PairTable = std::array<std::array<char, 2>, 4096>;

constexpr PairTable MakePairTable() {
  PairTable table{};
  for (std::size_t i = 0; i < 4096; ++i) {
    table[i] = {kBase64Alphabet[i >> 6], kBase64Alphabet[i & 63]};
  }
  return table;
}

constexpr PairTable kBase64Pairs = MakePairTable();

// Big-endian 64-bit load and store: one memory access and a byte swap on the usual hosts.
uint64_t LoadBigEndian64(const unsigned char* p) {
  uint64_t v;
  std::memcpy(&v, p, 8);
  if constexpr (std::endian::native == std::endian::little) v = __builtin_bswap64(v);
  return v;
}

void StoreBigEndian64(char* p, uint64_t v) {
  if constexpr (std::endian::native == std::endian::little) v = __builtin_bswap64(v);
  std::memcpy(p, &v, 8);
}

bool IsBase64Space(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

[[noreturn]] void ThrowUnevenSize() { throw EMfException("Uneven size in DecodeToStream."); }

uint32_t DecodeBase64Group(const unsigned char* in) {
  return kDecode0[in[0]] | kDecode1[in[1]] | kDecode2[in[2]] | kDecode3[in[3]];
}

// Decodes whole groups from in (whose length is a multiple of 4) into out, which has room for
// three bytes per group and kDecodeSlack more. Stops early at a group holding white space and
// returns the number of characters consumed; out advances by the bytes written.
constexpr std::size_t kDecodeSlack = 2;

std::size_t DecodeBase64Groups(const unsigned char* in, std::size_t length, char*& out) {
  std::size_t i = 0;
  char* o = out;
  // Four plain groups per step, then two, each pair stored with one 8-byte write (whose last
  // two bytes are overwritten next or are slack).
  for (; i + 16 <= length; i += 16, o += 12) {
    const uint32_t w1 = DecodeBase64Group(in + i);
    const uint32_t w2 = DecodeBase64Group(in + i + 4);
    const uint32_t w3 = DecodeBase64Group(in + i + 8);
    const uint32_t w4 = DecodeBase64Group(in + i + 12);
    if ((w1 | w2 | w3 | w4) & kFlags) break;
    StoreBigEndian64(o, (uint64_t{w1} << 40) | (uint64_t{w2} << 16));
    StoreBigEndian64(o + 6, (uint64_t{w3} << 40) | (uint64_t{w4} << 16));
  }
  for (; i + 8 <= length; i += 8, o += 6) {
    const uint32_t w1 = DecodeBase64Group(in + i);
    const uint32_t w2 = DecodeBase64Group(in + i + 4);
    if ((w1 | w2) & kFlags) break;
    StoreBigEndian64(o, (uint64_t{w1} << 40) | (uint64_t{w2} << 16));
  }
  for (; i < length; i += 4) {
    const uint32_t w = DecodeBase64Group(in + i);
    if (w & kSpaceFlag) break;
    o[0] = static_cast<char>(w >> 16);
    o[1] = static_cast<char>(w >> 8);
    o[2] = static_cast<char>(w);
    // A "=" counts as value 0; in the last two places it also shortens the group.
    if ((w & kPadFlag) == 0) {
      o += 3;
    } else {
      o += in[i + 2] == '=' ? 1 : in[i + 3] == '=' ? 2 : 3;
    }
  }
  out = o;
  return i;
}

// Alphabet lookup for the line coders: position in the alphabet, 0 for anything else.
using ValueTable = std::array<uint8_t, 256>;

constexpr ValueTable MakeUUTable() {
  ValueTable table{};
  for (int c = 33; c <= 95; ++c) table[c] = static_cast<uint8_t>(c - 32);
  return table;  // the backquote (and a blank, after the swap) is 0 like any other character
}

constexpr ValueTable MakeXXTable() {
  ValueTable table{};
  for (uint8_t i = 0; i < 64; ++i) table[static_cast<uint8_t>(kXXAlphabet[i])] = i;
  return table;
}

constexpr ValueTable kUUValues = MakeUUTable();
constexpr ValueTable kXXValues = MakeXXTable();

// The count character gives n; the next 4 * ceil(n / 3) characters carry n bytes. Blanks need
// no swap for uuencode because they already look up as 0, the value of the backquote.
std::string DecodeCountedLine(std::string_view line, const ValueTable& values) {
  if (line.empty()) return {};
  const std::size_t count = values[static_cast<uint8_t>(line[0])];
  const std::string_view data = line.substr(1);
  const std::size_t groups = (count + 2) / 3;
  std::string out(groups * 3, '\0');
  for (std::size_t g = 0; g < groups; ++g) {
    uint32_t w = 0;
    for (std::size_t k = 0; k < 4; ++k) {
      const std::size_t at = g * 4 + k;
      const uint32_t v = at < data.size() ? values[static_cast<uint8_t>(data[at])] : 0;
      w = (w << 6) | v;
    }
    out[g * 3] = static_cast<char>(w >> 16);
    out[g * 3 + 1] = static_cast<char>(w >> 8);
    out[g * 3 + 2] = static_cast<char>(w);
  }
  out.resize(count);
  return out;
}

bool IsCrOrLf(char c) { return c == '\r' || c == '\n'; }

// Hex digit values, -1 for anything else.
constexpr std::array<int8_t, 256> MakeHexValues() {
  std::array<int8_t, 256> values{};
  for (int c = 0; c < 256; ++c) values[c] = -1;
  for (int d = 0; d < 10; ++d) values['0' + d] = static_cast<int8_t>(d);
  for (int d = 0; d < 6; ++d) {
    values['A' + d] = static_cast<int8_t>(10 + d);
    values['a' + d] = static_cast<int8_t>(10 + d);
  }
  return values;
}

constexpr std::array<int8_t, 256> kHexValues = MakeHexValues();

int HexValue(char c) { return kHexValues[static_cast<uint8_t>(c)]; }

// How QPEncode writes each byte: up to three characters and, in the fourth byte, their count
// plus a flag for CR and LF. Writing all four bytes and moving on by the count keeps the loop
// free of branches on the byte's class.
using QPCode = std::array<char, 4>;
constexpr char kQPLineEndFlag = 0x40;

constexpr QPCode QPEscape(int b) { return {'=', kHexDigits[b >> 4], kHexDigits[b & 15], 3}; }

constexpr std::array<QPCode, 256> MakeQPCodes(bool blank_escaped) {
  std::array<QPCode, 256> codes{};
  for (int c = 0; c < 256; ++c) {
    const bool plain =
        (c >= 33 && c <= 126 && c != '=') || (!blank_escaped && (c == ' ' || c == '\t'));
    codes[c] = plain ? QPCode{static_cast<char>(c), 0, 0, 1} : QPEscape(c);
  }
  codes['\r'] = {'\r', 0, 0, 1 | kQPLineEndFlag};
  codes['\n'] = {'\n', 0, 0, 1 | kQPLineEndFlag};
  return codes;
}

constexpr std::array<QPCode, 256> kQPCodes = MakeQPCodes(false);
// A blank or tab before a line end (or at the very end) would be stripped in transport.
constexpr std::array<QPCode, 256> kQPCodesBeforeLineEnd = MakeQPCodes(true);

// Lines are closed once they hold more than this many characters, which keeps every encoded
// line, with its "=", within the 76 characters RFC 2045 allows.
constexpr std::size_t kQPLineLimit = 71;

}  // namespace

std::string Base64Decode(std::string_view text) {
  // A line end (or other white space) at the end is common and cheap to drop up front.
  while (!text.empty() && IsBase64Space(text.back())) text.remove_suffix(1);
  std::string out;
  std::string compact;
  std::string_view rest = text;
  std::size_t done = 0;
  char* o = nullptr;
  if (text.size() % 4 == 0) {
    out.resize(text.size() / 4 * 3 + kDecodeSlack);
    o = out.data();
    done = DecodeBase64Groups(reinterpret_cast<const unsigned char*>(text.data()), text.size(), o);
    if (done == text.size()) {
      out.resize(static_cast<std::size_t>(o - out.data()));
      return out;
    }
    rest = text.substr(done);
  }
  // White space is skipped before the length is judged, so what is left is decoded from a copy
  // without it.
  compact.reserve(rest.size());
  for (char c : rest) {
    if (!IsBase64Space(c)) compact.push_back(c);
  }
  if (compact.size() % 4 != 0) ThrowUnevenSize();
  const std::size_t written = o == nullptr ? 0 : static_cast<std::size_t>(o - out.data());
  out.resize(written + compact.size() / 4 * 3 + kDecodeSlack);
  o = out.data() + written;
  DecodeBase64Groups(reinterpret_cast<const unsigned char*>(compact.data()), compact.size(), o);
  out.resize(static_cast<std::size_t>(o - out.data()));
  return out;
}

std::string Base64Encode(std::string_view bytes) {
  const std::size_t n = bytes.size();
  std::string out((n + 2) / 3 * 4, '\0');
  const auto* in = reinterpret_cast<const unsigned char*>(bytes.data());
  char* o = out.data();
  std::size_t i = 0;
  // Six bytes per step from one big-endian 64-bit load (its last two bytes unused).
  for (; i + 8 <= n; i += 6, o += 8) {
    const uint64_t v = LoadBigEndian64(in + i);
    std::memcpy(o, kBase64Pairs[(v >> 52) & 0xFFF].data(), 2);
    std::memcpy(o + 2, kBase64Pairs[(v >> 40) & 0xFFF].data(), 2);
    std::memcpy(o + 4, kBase64Pairs[(v >> 28) & 0xFFF].data(), 2);
    std::memcpy(o + 6, kBase64Pairs[(v >> 16) & 0xFFF].data(), 2);
  }
  for (; i + 3 <= n; i += 3, o += 4) {
    const uint32_t w = (uint32_t{in[i]} << 16) | (uint32_t{in[i + 1]} << 8) | in[i + 2];
    std::memcpy(o, kBase64Pairs[w >> 12].data(), 2);
    std::memcpy(o + 2, kBase64Pairs[w & 0xFFF].data(), 2);
  }
  if (i < n) {
    const bool pair = n - i == 2;
    const uint32_t w = (uint32_t{in[i]} << 16) | (pair ? uint32_t{in[i + 1]} << 8 : 0);
    o[0] = kBase64Alphabet[w >> 18];
    o[1] = kBase64Alphabet[(w >> 12) & 63];
    o[2] = pair ? kBase64Alphabet[(w >> 6) & 63] : '=';
    o[3] = '=';
  }
  return out;
}

std::string QPDecode(std::string_view text) {
  // Trailing blanks and tabs go; the CR and LF among the trailing white space stay, in order.
  std::size_t end = text.size();
  bool trailing_blank = false;
  while (end > 0) {
    const char c = text[end - 1];
    if (c == ' ' || c == '\t') {
      trailing_blank = true;
    } else if (!IsCrOrLf(c)) {
      break;
    }
    --end;
  }
  std::string trimmed;
  std::string_view s = text;
  if (trailing_blank) {
    trimmed.assign(text.substr(0, end));
    for (char c : text.substr(end)) {
      if (IsCrOrLf(c)) trimmed.push_back(c);
    }
    s = trimmed;
  }

  // The output is never longer than the text: every escape is shorter than its byte's line.
  const std::size_t n = s.size();
  std::string out(n + 1, '\0');
  char* o = out.data();
  std::size_t i = 0;
  while (i < n) {
    if (s[i] != '=') {
      *o++ = s[i++];
      continue;
    }
    ++i;
    int digits = 0;
    int value = 0;
    for (int digit; digits < 2 && i < n && (digit = HexValue(s[i])) >= 0; ++i, ++digits) {
      value = value * 16 + digit;
    }
    const bool line_end_follows = i < n && IsCrOrLf(s[i]);
    if (digits > 0 && !(value == ' ' && line_end_follows)) {
      *o++ = static_cast<char>(value);
      continue;
    }
    // A soft line break (or a stray "=") vanishes with the line end after it; an encoded blank
    // right before the line end is kept, and the line end is written as CR LF.
    if (digits > 0) {
      std::memcpy(o, " \r\n", 3);
      o += 3;
    }
    for (int k = 0; k < 2 && i < n && IsCrOrLf(s[i]); ++k) ++i;
  }
  out.resize(static_cast<std::size_t>(o - out.data()));
  return out;
}

std::string QPEncode(std::string_view bytes) {
  const std::size_t n = bytes.size();
  // A byte takes at most 3 characters, a soft break 3 more after at least 24 bytes, and the
  // last code written spills one byte.
  std::string out(3 * n + 3 * (n / 24 + 1) + 1, '\0');
  char* o = out.data();
  const auto* in = reinterpret_cast<const uint8_t*>(bytes.data());
  std::size_t line_length = 0;
  for (std::size_t i = 0; i < n; ++i) {
    const bool line_end_next = i + 1 == n || in[i + 1] == '\r' || in[i + 1] == '\n';
    const QPCode& code = line_end_next ? kQPCodesBeforeLineEnd[in[i]] : kQPCodes[in[i]];
    std::memcpy(o, code.data(), 4);
    const std::size_t length = code[3] & 3;
    o += length;
    line_length += length;
    if (line_length > kQPLineLimit && !(code[3] & kQPLineEndFlag)) {
      *o++ = '=';
      // At the very end the soft break's line end would come before nothing.
      if (i + 1 < n) {
        std::memcpy(o, "\r\n", 2);
        o += 2;
      }
      line_length = 0;
    }
  }
  out.resize(static_cast<std::size_t>(o - out.data()));
  return out;
}

std::string UUDecode(std::string_view line) { return DecodeCountedLine(line, kUUValues); }

std::string XXDecode(std::string_view line) { return DecodeCountedLine(line, kXXValues); }

}  // namespace mailferry

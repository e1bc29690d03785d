#include "message/jis.h"

#include <array>
#include <cstdint>

namespace mailferry {
namespace {

constexpr char kEsc = '\x1B';
constexpr std::string_view kToDoubleByte = "\x1B$B";
constexpr std::string_view kToAscii = "\x1B(B";

// JIS X 0201 half-width katakana 0xA1..0xDF and the JIS X 0208 codes of their full-width forms.
constexpr uint16_t kHalfWidthKana[63] = {
    0x2123, 0x2156, 0x2157, 0x2122, 0x2126, 0x2572, 0x2521, 0x2523, 0x2525, 0x2527, 0x2529,
    0x2563, 0x2565, 0x2567, 0x2543, 0x213C, 0x2522, 0x2524, 0x2526, 0x2528, 0x252A, 0x252B,
    0x252D, 0x252F, 0x2531, 0x2533, 0x2535, 0x2537, 0x2539, 0x253B, 0x253D, 0x253F, 0x2541,
    0x2544, 0x2546, 0x2548, 0x254A, 0x254B, 0x254C, 0x254D, 0x254E, 0x254F, 0x2552, 0x2555,
    0x2558, 0x255B, 0x255E, 0x255F, 0x2560, 0x2561, 0x2562, 0x2564, 0x2566, 0x2568, 0x2569,
    0x256A, 0x256B, 0x256C, 0x256D, 0x256F, 0x2573, 0x212B, 0x212C};

constexpr uint8_t kVoicedMark = 0xDE;
constexpr uint8_t kSemiVoicedMark = 0xDF;

// The full-width code of a half-width kana followed by a (semi-)voiced mark, or 0 when the
// kana has no such form in JIS X 0208.
uint16_t CombinedKana(uint8_t kana, uint8_t mark) {
  const uint16_t base = kHalfWidthKana[kana - 0xA1];
  if (mark == kVoicedMark) {
    if (kana == 0xB3) return 0x2574;  // u -> vu
    if ((kana >= 0xB6 && kana <= 0xC4) || (kana >= 0xCA && kana <= 0xCE)) return base + 1;
  } else if (mark == kSemiVoicedMark && kana >= 0xCA && kana <= 0xCE) {
    return base + 2;  // the ha row: pa, pi, pu, pe, po
  }
  return 0;
}

// The cells of each JIS X 0208 row (1..94) that hold a character, as [first, last] ranges.
struct CellRange {
  uint8_t row_first, row_last, cell_first, cell_last;
};

constexpr CellRange kAssignedCells[] = {
    {1, 1, 1, 94},  {2, 2, 1, 14},  {2, 2, 26, 33},  {2, 2, 42, 48},  {2, 2, 60, 74},
    {2, 2, 82, 89}, {2, 2, 94, 94}, {3, 3, 16, 25},  {3, 3, 33, 58},  {3, 3, 65, 90},
    {4, 4, 1, 83},  {5, 5, 1, 86},  {6, 6, 1, 24},   {6, 6, 33, 56},  {7, 7, 1, 33},
    {7, 7, 49, 81}, {8, 8, 1, 32},  {16, 46, 1, 94}, {47, 47, 1, 51}, {48, 83, 1, 94},
    {84, 84, 1, 6},
};

bool IsAssigned(int row, int cell) {
  for (const CellRange& range : kAssignedCells) {
    if (row >= range.row_first && row <= range.row_last && cell >= range.cell_first &&
        cell <= range.cell_last) {
      return true;
    }
  }
  return false;
}

bool IsShiftJisLead(uint8_t b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); }

// The JIS X 0208 code of a Shift_JIS pair, or 0 when the pair names no character of it.
uint16_t ShiftJisPairToJis(uint8_t lead, uint8_t trail) {
  if (trail < 0x40 || trail == 0x7F || trail > 0xFC) return 0;
  int s1 = lead >= 0xE0 ? lead - 0x40 : lead;
  int j1 = (s1 - 0x70) * 2 - 1;
  int j2;
  if (trail >= 0x9F) {
    ++j1;
    j2 = trail - 0x7E;
  } else {
    j2 = trail - (trail >= 0x80 ? 0x20 : 0x1F);
  }
  if (!IsAssigned(j1 - 0x20, j2 - 0x20)) return 0;
  return static_cast<uint16_t>(j1 << 8 | j2);
}

}  // namespace

std::string JisToShiftJis(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  bool double_byte = false;
  std::size_t i = 0;
  while (i < text.size()) {
    if (text[i] == kEsc) {
      if (text.size() - i < 3) {
        ++i;
        continue;
      }
      const std::string_view sequence = text.substr(i + 1, 2);
      if (sequence == "$B") {
        double_byte = true;
      } else if (sequence == "(B") {
        double_byte = false;
      }
      i += 3;
      continue;
    }
    if (!double_byte) {
      out.push_back(text[i++]);
      continue;
    }
    if (i + 1 >= text.size()) break;  // half a pair at the end
    const int j1 = static_cast<uint8_t>(text[i]);
    const int j2 = static_cast<uint8_t>(text[i + 1]);
    i += 2;
    const int s1 = ((j1 - 1) >> 1) + (j1 <= 94 ? 113 : 177);
    const int s2 = (j1 % 2 == 0) ? j2 + 126 : j2 + (j2 < 96 ? 31 : 32);
    out.push_back(static_cast<char>(s1 & 0xFF));
    out.push_back(static_cast<char>(s2 & 0xFF));
  }
  return out;
}

std::string ShiftJisToJis(std::string_view text) {
  std::string out;
  out.reserve(text.size() + 8);
  bool double_byte = false;
  const auto put_code = [&](uint16_t code) {
    if (!double_byte) {
      out.append(kToDoubleByte);
      double_byte = true;
    }
    out.push_back(static_cast<char>(code >> 8));
    out.push_back(static_cast<char>(code & 0xFF));
  };
  std::size_t i = 0;
  while (i < text.size()) {
    const auto b = static_cast<uint8_t>(text[i]);
    if (b < 0x80) {
      if (double_byte) {
        out.append(kToAscii);
        double_byte = false;
      }
      out.push_back(text[i++]);
    } else if (b >= 0xA1 && b <= 0xDF) {
      const uint16_t combined =
          i + 1 < text.size() ? CombinedKana(b, static_cast<uint8_t>(text[i + 1])) : 0;
      put_code(combined != 0 ? combined : kHalfWidthKana[b - 0xA1]);
      i += combined != 0 ? 2 : 1;
    } else if (IsShiftJisLead(b)) {
      const uint16_t code =
          i + 1 < text.size() ? ShiftJisPairToJis(b, static_cast<uint8_t>(text[i + 1])) : 0;
      if (code != 0) put_code(code);
      i += 2;
    } else {
      ++i;
    }
  }
  if (double_byte) out.append(kToAscii);
  return out;
}

}  // namespace mailferry

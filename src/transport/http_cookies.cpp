#include "transport/http_cookies.h"

#include <algorithm>

#include "common/ascii_text.h"
#include "common/date_time.h"
#include "transport/decimal_text.h"
#include "transport/tcp_client.h"

namespace mailferry {
namespace {

constexpr double kSecondsPerDay = 86400.0;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The separators between the tokens of a cookie date.
bool IsDateDelimiter(char c) {
  const auto u = static_cast<unsigned char>(c);
  return u == 0x09 || (u >= 0x20 && u <= 0x2F) || (u >= 0x3B && u <= 0x40) ||
         (u >= 0x5B && u <= 0x60) || (u >= 0x7B && u <= 0x7E);
}

// Reads 1 to max_digits digits from the front of text; the next character must not be a digit.
std::optional<int> LeadingNumber(std::string_view* text, std::size_t min_digits,
                                 std::size_t max_digits) {
  std::size_t count = 0;
  while (count < text->size() && IsDigit((*text)[count])) ++count;
  if (count < min_digits || count > max_digits) return std::nullopt;
  int value = 0;
  for (std::size_t i = 0; i < count; ++i) value = value * 10 + ((*text)[i] - '0');
  text->remove_prefix(count);
  return value;
}

bool ReadTime(std::string_view token, int* hour, int* minute, int* second) {
  const auto h = LeadingNumber(&token, 1, 2);
  if (!h || token.empty() || token.front() != ':') return false;
  token.remove_prefix(1);
  const auto m = LeadingNumber(&token, 1, 2);
  if (!m || token.empty() || token.front() != ':') return false;
  token.remove_prefix(1);
  const auto s = LeadingNumber(&token, 1, 2);
  if (!s) return false;
  *hour = *h;
  *minute = *m;
  *second = *s;
  return true;
}

int MonthOf(std::string_view token) {
  static constexpr const char* kMonths[] = {"jan", "feb", "mar", "apr", "may", "jun",
                                            "jul", "aug", "sep", "oct", "nov", "dec"};
  if (token.size() < 3) return 0;
  for (int i = 0; i < 12; ++i) {
    if (SameTextAscii(token.substr(0, 3), kMonths[i])) return i + 1;
  }
  return 0;
}

std::string LowerAscii(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return lower;
}

// True when host ends with domain at a label boundary: the whole host, or a domain written with
// its leading "." or one that follows a "." of the host.
bool DomainBelongsToHost(std::string_view domain, std::string_view host) {
  if (domain.empty()) return false;
  const std::string lower_domain = LowerAscii(domain);
  const std::string lower_host = LowerAscii(host);
  if (lower_domain == lower_host) return true;
  if (TMfTCPClient::IsDottedQuad(std::string(host))) return false;
  if (lower_host.size() <= lower_domain.size() ||
      lower_host.compare(lower_host.size() - lower_domain.size(), std::string::npos,
                         lower_domain) != 0) {
    return false;
  }
  return lower_domain.front() == '.' ||
         lower_host[lower_host.size() - lower_domain.size() - 1] == '.';
}

// Whether a cookie for domain may be set by a response from host.
bool DomainFitsHost(std::string_view domain, std::string_view host) {
  if (TMfTCPClient::IsDottedQuad(std::string(host)) || domain.empty() || domain.front() != '.') {
    return SameTextAscii(domain, host);
  }
  const std::size_t dot = host.find('.');
  return dot != std::string_view::npos && SameTextAscii(domain, host.substr(dot));
}

}  // namespace

std::optional<double> ParseCookieDate(std::string_view text) {
  std::optional<int> day;
  int month = 0;
  std::optional<int> year;
  bool have_time = false;
  int hour = 0;
  int minute = 0;
  int second = 0;

  std::size_t pos = 0;
  while (pos < text.size()) {
    while (pos < text.size() && IsDateDelimiter(text[pos])) ++pos;
    std::size_t end = pos;
    while (end < text.size() && !IsDateDelimiter(text[end])) ++end;
    const std::string_view token = text.substr(pos, end - pos);
    pos = end;
    if (token.empty()) continue;

    if (!have_time && ReadTime(token, &hour, &minute, &second)) {
      have_time = true;
      continue;
    }
    std::string_view digits = token;
    if (!day) {
      if (const auto value = LeadingNumber(&digits, 1, 2)) {
        day = value;
        continue;
      }
    }
    if (month == 0) {
      if (const int value = MonthOf(token); value != 0) {
        month = value;
        continue;
      }
    }
    digits = token;
    if (!year) {
      if (const auto value = LeadingNumber(&digits, 2, 4)) year = value;
    }
  }
  if (!day || month == 0 || !year || !have_time) return std::nullopt;
  int full_year = *year;
  if (full_year >= 70 && full_year <= 99) full_year += 1900;
  if (full_year >= 0 && full_year <= 69) full_year += 2000;
  if (full_year < 1601 || hour > 23 || minute > 59 || second > 59) return std::nullopt;
  const auto date = EncodeDate(full_year, month, *day);
  const auto time = EncodeTime(hour, minute, second);
  if (!date || !time) return std::nullopt;
  return *date + *time;
}

void HttpCookieStore::SetCookie(std::string_view header_value, std::string_view request_host,
                                std::string_view request_path) {
  std::vector<std::string_view> parts;
  for (std::size_t start = 0;;) {
    const std::size_t semicolon = header_value.find(';', start);
    parts.push_back(header_value.substr(
        start, semicolon == std::string_view::npos ? std::string_view::npos : semicolon - start));
    if (semicolon == std::string_view::npos) break;
    start = semicolon + 1;
  }

  HttpCookie cookie;
  const std::size_t equals = parts.front().find('=');
  cookie.name = std::string(TrimBlanks(parts.front().substr(0, equals)));
  if (equals != std::string_view::npos) {
    cookie.value = std::string(TrimBlanks(parts.front().substr(equals + 1)));
  }
  if (cookie.name.empty()) return;

  std::optional<double> expires_utc;
  std::optional<double> max_age_seconds;
  for (std::size_t i = 1; i < parts.size(); ++i) {
    const std::size_t eq = parts[i].find('=');
    const std::string_view key = TrimBlanks(parts[i].substr(0, eq));
    const std::string_view value =
        eq == std::string_view::npos ? std::string_view() : TrimBlanks(parts[i].substr(eq + 1));
    if (SameTextAscii(key, "path")) {
      std::string_view path = value;
      if (path.size() >= 2 && path.front() == '"' && path.back() == '"') {
        path = path.substr(1, path.size() - 2);
      }
      cookie.path = std::string(path);
    } else if (SameTextAscii(key, "expires")) {
      expires_utc = ParseCookieDate(value);
    } else if (SameTextAscii(key, "domain")) {
      cookie.domain = std::string(value);
    } else if (SameTextAscii(key, "secure")) {
      cookie.secure = true;
    } else if (SameTextAscii(key, "max-age")) {
      if (const auto seconds = DecimalToInt(value)) max_age_seconds = *seconds;
    }
  }

  if (cookie.domain.empty()) cookie.domain = std::string(request_host);
  if (cookie.path.empty()) cookie.path = std::string(request_path);
  if (!DomainFitsHost(cookie.domain, request_host)) return;

  const double now = clock_.Now();
  if (expires_utc) {
    const double offset_days = clock_.UtcOffsetMinutes().value_or(0) / 1440.0;
    cookie.expires = *expires_utc + offset_days;
  } else if (max_age_seconds) {
    cookie.expires = now + *max_age_seconds / kSecondsPerDay;
  }

  cookies_.erase(std::remove_if(cookies_.begin(), cookies_.end(),
                                [&](const HttpCookie& old) {
                                  return SameTextAscii(old.domain, cookie.domain) &&
                                         old.name == cookie.name;
                                }),
                 cookies_.end());
  if (!cookie.expires || *cookie.expires > now) cookies_.push_back(std::move(cookie));
}

void HttpCookieStore::DropExpired() {
  const double now = clock_.Now();
  cookies_.erase(std::remove_if(cookies_.begin(), cookies_.end(),
                                [now](const HttpCookie& cookie) {
                                  return cookie.expires && *cookie.expires <= now;
                                }),
                 cookies_.end());
}

std::string HttpCookieStore::CookieHeader(std::string_view host, std::string_view request_path) {
  DropExpired();
  std::vector<const HttpCookie*> matching;
  for (const HttpCookie& cookie : cookies_) {
    if (cookie.value.empty() || cookie.secure || cookie.path.empty()) continue;
    if (!DomainBelongsToHost(cookie.domain, host)) continue;
    if (request_path.substr(0, cookie.path.size()) != cookie.path) continue;
    matching.push_back(&cookie);
  }
  std::stable_sort(matching.begin(), matching.end(),
                   [](const HttpCookie* a, const HttpCookie* b) { return a->path > b->path; });
  std::string header;
  for (const HttpCookie* cookie : matching) {
    if (!header.empty()) header += "; ";
    header += cookie->name + "=" + cookie->value;
  }
  return header;
}

}  // namespace mailferry

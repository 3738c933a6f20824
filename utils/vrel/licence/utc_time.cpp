#include "vrel/licence/utc_time.h"

#include <cstdio>
#include <stdexcept>

namespace vrel {
namespace {

constexpr std::int64_t kDay = 86400;
constexpr std::int64_t kFirst = -62167219200;  // 0000-01-01T00:00:00Z
constexpr std::int64_t kEnd = 253402300800;    // 10000-01-01T00:00:00Z

// Days since 1970-01-01 of a civil date: years counted from March, so that
// the leap day ends a 400-year era's year.
std::int64_t DaysFromCivil(std::int64_t y, int m, int d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const std::int64_t yearOfEra = y - era * 400;
  const std::int64_t dayOfYear = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const std::int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + dayOfEra - 719468;
}

int DaysInMonth(std::int64_t y, int m) {
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
  return m == 2 && leap ? 29 : kDays[m - 1];
}

// The decimal number of `text[at, at + digits)`, digits that the caller checked.
int Number(std::string_view text, std::size_t at, std::size_t digits) {
  int value = 0;
  for (std::size_t i = at; i < at + digits; ++i) value = value * 10 + (text[i] - '0');
  return value;
}

}  // namespace

std::string FormatUtcTime(std::int64_t seconds) {
  if (seconds < kFirst || seconds >= kEnd) throw std::out_of_range("time outside years 0-9999");
  // Whole days since 0000-03-01 (both bounds are whole days from the epoch, so no rounding).
  const std::int64_t rest = (seconds - kFirst) % kDay;
  const std::int64_t z = (seconds - kFirst) / kDay - 60;  // 0000 is a leap year: 31 + 29 days
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const std::int64_t dayOfEra = z - era * 146097;
  const std::int64_t yearOfEra =
      (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const std::int64_t monthFromMarch = (5 * dayOfYear + 2) / 153;
  const int day = static_cast<int>(dayOfYear - (153 * monthFromMarch + 2) / 5 + 1);
  const int month = static_cast<int>(monthFromMarch < 10 ? monthFromMarch + 3 : monthFromMarch - 9);
  const std::int64_t year = era * 400 + yearOfEra + (month <= 2);
  char text[64];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02dZ", static_cast<int>(year), month,
                day, static_cast<int>(rest / 3600), static_cast<int>(rest / 60 % 60),
                static_cast<int>(rest % 60));
  return text;
}

bool ParseUtcTime(std::string_view text, std::int64_t& seconds) {
  // "YYYY-MM-DDTHH:MM:SSZ": a digit where the pattern has 'D', its own character elsewhere.
  constexpr std::string_view kPattern = "DDDD-DD-DDTDD:DD:DDZ";
  if (text.size() != kPattern.size()) return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const bool digit = text[i] >= '0' && text[i] <= '9';
    if (kPattern[i] == 'D' ? !digit : text[i] != kPattern[i]) return false;
  }
  const int year = Number(text, 0, 4), month = Number(text, 5, 2), day = Number(text, 8, 2);
  const int hour = Number(text, 11, 2), minute = Number(text, 14, 2), second = Number(text, 17, 2);
  if (month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month) || hour > 23 ||
      minute > 59 || second > 59) {
    return false;
  }
  seconds = DaysFromCivil(year, month, day) * kDay + hour * 3600 + minute * 60 + second;
  return true;
}

}  // namespace vrel

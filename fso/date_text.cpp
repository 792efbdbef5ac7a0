#include "fso/date_text.hpp"

#include <cstdio>
#include <ctime>

namespace ravlin {
namespace {

bool IsLeapYear(int year) {
  return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DaysInMonth(int year, int month) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

// Reads an unsigned number of 1 to `maxDigits` digits at `at`, moving past it.
std::optional<int> Number(const std::string& text, std::size_t& at, std::size_t maxDigits) {
  std::size_t digits = 0;
  int value = 0;
  while (at < text.size() && text[at] >= '0' && text[at] <= '9' && digits < maxDigits) {
    value = value * 10 + (text[at] - '0');
    ++at;
    ++digits;
  }
  if (digits == 0) return std::nullopt;
  return value;
}

bool Expect(const std::string& text, std::size_t& at, char c) {
  if (at >= text.size() || text[at] != c) return false;
  ++at;
  return true;
}

void SkipBlanks(const std::string& text, std::size_t& at) {
  while (at < text.size() && text[at] == ' ') ++at;
}

bool ValidDate(int year, int month, int day) {
  return year >= 100 && year <= 9999 && month >= 1 && month <= 12 && day >= 1 &&
         day <= DaysInMonth(year, month);
}

// "h:mm", "h:mm:ss", each optionally followed by AM or PM; the whole rest of the text.
std::optional<int> TimeOfDay(const std::string& text, std::size_t at) {
  const auto hour = Number(text, at, 2);
  if (!hour || !Expect(text, at, ':')) return std::nullopt;
  const auto minute = Number(text, at, 2);
  if (!minute || *minute > 59) return std::nullopt;
  int second = 0;
  if (Expect(text, at, ':')) {
    const auto seconds = Number(text, at, 2);
    if (!seconds || *seconds > 59) return std::nullopt;
    second = *seconds;
  }
  SkipBlanks(text, at);
  int hour24 = *hour;
  if (at < text.size()) {
    const std::string marker = text.substr(at);
    const bool am = marker == "AM" || marker == "am";
    const bool pm = marker == "PM" || marker == "pm";
    if ((!am && !pm) || hour24 < 1 || hour24 > 12) return std::nullopt;
    hour24 = hour24 % 12 + (pm ? 12 : 0);
  } else if (hour24 > 23) {
    return std::nullopt;
  }
  return hour24 * 3600 + *minute * 60 + second;
}

}  // namespace

std::string DateText(FileTime when) {
  const std::time_t seconds = std::chrono::system_clock::to_time_t(
      std::chrono::time_point_cast<std::chrono::seconds>(when));
  std::tm local{};
  if (const std::tm* converted = std::localtime(&seconds)) local = *converted;
  const int hour12 = local.tm_hour % 12 == 0 ? 12 : local.tm_hour % 12;
  char text[48];
  std::snprintf(text, sizeof text, "%d/%d/%d %d:%02d:%02d %s", local.tm_mon + 1, local.tm_mday,
                local.tm_year + 1900, hour12, local.tm_min, local.tm_sec,
                local.tm_hour < 12 ? "AM" : "PM");
  return text;
}

std::optional<DateValue> ReadDate(const std::string& text) {
  std::size_t at = 0;
  SkipBlanks(text, at);
  const auto first = Number(text, at, 4);
  if (!first || at >= text.size()) return std::nullopt;
  DateValue date;
  if (text[at] == '/') {
    ++at;
    const auto day = Number(text, at, 2);
    if (!day || !Expect(text, at, '/')) return std::nullopt;
    const auto year = Number(text, at, 4);
    if (!year) return std::nullopt;
    date = {*year, *first, *day, 0};
  } else if (text[at] == '-') {
    ++at;
    const auto month = Number(text, at, 2);
    if (!month || !Expect(text, at, '-')) return std::nullopt;
    const auto day = Number(text, at, 2);
    if (!day) return std::nullopt;
    date = {*first, *month, *day, 0};
  } else {
    return std::nullopt;
  }
  if (!ValidDate(date.year, date.month, date.day)) return std::nullopt;
  const bool isoTime = at < text.size() && text[at] == 'T';
  if (isoTime)
    ++at;
  else
    SkipBlanks(text, at);
  if (at >= text.size()) return date;
  const auto seconds = TimeOfDay(text, at);
  if (!seconds) return std::nullopt;
  date.secondsOfDay = *seconds;
  return date;
}

}  // namespace ravlin

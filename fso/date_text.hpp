#pragma once

#include <compare>
#include <optional>
#include <string>

#include "platform/file_service.hpp"

namespace ravlin {

// A calendar date with a time of day, compared as they follow each other.
struct DateValue {
  int year = 0;
  int month = 0;
  int day = 0;
  int secondsOfDay = 0;

  auto operator<=>(const DateValue&) const = default;
};

// The toolkit's one short form of a date and time, in local time: "M/D/YYYY h:mm:ss AM"
// ("3/7/2024 9:05:00 PM"). The date part ends at the first blank.
std::string DateText(FileTime when);

// A date as a caller writes it: "M/D/YYYY" (the short form above, with or without its time)
// or "YYYY-MM-DD" (optionally followed by a blank or "T" and "hh:mm" or "hh:mm:ss"). Nothing
// for any other text or an impossible date.
std::optional<DateValue> ReadDate(const std::string& text);

}  // namespace ravlin

#include "platform/variant.hpp"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <optional>

#include "platform/runtime_error.hpp"
#include "platform/text_bytes.hpp"

namespace ravlin {
namespace {

std::string Trimmed(const std::string& text) {
  const auto first = text.find_first_not_of(' ');
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

std::optional<double> NumberFromText(const std::string& text) {
  const std::string trimmed = Trimmed(text);
  if (trimmed.empty()) return std::nullopt;
  errno = 0;
  char* end = nullptr;
  const double value = std::strtod(trimmed.c_str(), &end);
  if (end != trimmed.c_str() + trimmed.size() || errno == ERANGE || !std::isfinite(value))
    return std::nullopt;
  return value;
}

// The numeric value of a variant, or a type mismatch.
double NumberOf(const Variant& value) {
  if (std::holds_alternative<std::monostate>(value)) return 0;
  if (const auto* flag = std::get_if<bool>(&value)) return *flag ? -1 : 0;
  if (const auto* small = std::get_if<std::int16_t>(&value)) return *small;
  if (const auto* whole = std::get_if<std::int32_t>(&value)) return *whole;
  if (const auto* real = std::get_if<double>(&value)) return *real;
  const auto& text = std::get<std::string>(value);
  if (EqualsIgnoringAsciiCase(Trimmed(text), "True")) return -1;
  if (EqualsIgnoringAsciiCase(Trimmed(text), "False")) return 0;
  if (const auto number = NumberFromText(text)) return *number;
  throw RuntimeError(vb_error::kTypeMismatch);
}

// Rounds half to even, as the runtime does when it narrows a number to an integer.
template <typename Integer>
Integer RoundedInto(double number) {
  const double rounded = std::nearbyint(number);
  if (!(rounded >= std::numeric_limits<Integer>::min() &&
        rounded <= std::numeric_limits<Integer>::max()))
    throw RuntimeError(vb_error::kOverflow);
  return static_cast<Integer>(rounded);
}

}  // namespace

std::string VariantToText(const Variant& value) {
  if (std::holds_alternative<std::monostate>(value)) return {};
  if (const auto* text = std::get_if<std::string>(&value)) return *text;
  if (const auto* flag = std::get_if<bool>(&value)) return *flag ? "True" : "False";
  if (const auto* small = std::get_if<std::int16_t>(&value)) return std::to_string(*small);
  if (const auto* whole = std::get_if<std::int32_t>(&value)) return std::to_string(*whole);
  char buffer[40];
  std::snprintf(buffer, sizeof buffer, "%.15G", std::get<double>(value));
  return buffer;
}

bool VariantToBoolean(const Variant& value) {
  return NumberOf(value) != 0;
}

std::int16_t VariantToInteger(const Variant& value) {
  return RoundedInto<std::int16_t>(NumberOf(value));
}

std::int32_t VariantToLong(const Variant& value) {
  return RoundedInto<std::int32_t>(NumberOf(value));
}

bool VariantIsEmpty(const Variant& value) {
  return std::holds_alternative<std::monostate>(value);
}

}  // namespace ravlin

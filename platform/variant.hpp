#pragma once

#include <cstdint>
#include <string>
#include <variant>

namespace ravlin {

// A value that carries its own type, as the classic runtime's variant: empty, text, a
// 16-bit or 32-bit integer, a double or a boolean.
using Variant = std::variant<std::monostate, std::string, std::int16_t, std::int32_t, double, bool>;

// Conversions by the runtime's usual rules; each throws RuntimeError 13 (Type mismatch) for
// a value that cannot be read as the type asked for and 6 (Overflow) for one out of range.
std::string VariantToText(const Variant& value);
bool VariantToBoolean(const Variant& value);
std::int16_t VariantToInteger(const Variant& value);
std::int32_t VariantToLong(const Variant& value);
bool VariantIsEmpty(const Variant& value);

}  // namespace ravlin

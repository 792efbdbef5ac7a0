#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace ravlin {

// A run-time error as the classic runtime reports it: a number and a description. Every
// failure that the toolkit and the workflow are meant to trap or report travels as one.
class RuntimeError : public std::runtime_error {
 public:
  RuntimeError(std::int32_t number, std::string description);
  // An error with the classic runtime's own description for that number.
  explicit RuntimeError(std::int32_t number);

  std::int32_t Number() const { return number_; }
  const std::string& Description() const { return description_; }

 private:
  std::int32_t number_;
  std::string description_;
};

// The classic runtime's error numbers used across the program.
namespace vb_error {
inline constexpr std::int32_t kInvalidProcedureCall = 5;
inline constexpr std::int32_t kOverflow = 6;
inline constexpr std::int32_t kOutOfMemory = 7;
inline constexpr std::int32_t kTypeMismatch = 13;
inline constexpr std::int32_t kBadFileNameOrNumber = 52;
inline constexpr std::int32_t kFileNotFound = 53;
inline constexpr std::int32_t kFileAlreadyOpen = 55;
inline constexpr std::int32_t kDeviceIoError = 57;
inline constexpr std::int32_t kFileAlreadyExists = 58;
inline constexpr std::int32_t kDiskFull = 61;
inline constexpr std::int32_t kInputPastEndOfFile = 62;
inline constexpr std::int32_t kBadFileName = 64;
inline constexpr std::int32_t kTooManyFiles = 67;
inline constexpr std::int32_t kDeviceUnavailable = 68;
inline constexpr std::int32_t kPermissionDenied = 70;
inline constexpr std::int32_t kDiskNotReady = 71;
inline constexpr std::int32_t kPathFileAccessError = 75;
inline constexpr std::int32_t kPathNotFound = 76;
inline constexpr std::int32_t kNotAvailableYet = 445;  // "Object doesn't support this action"
}  // namespace vb_error

// The classic runtime's description for an error number ("Application-defined or
// object-defined error" for numbers it has no text for).
std::string ClassicErrorDescription(std::int32_t number);

}  // namespace ravlin

#include "platform/runtime_error.hpp"

#include <utility>

namespace ravlin {

RuntimeError::RuntimeError(std::int32_t number, std::string description)
    : std::runtime_error(description), number_(number), description_(std::move(description)) {}

RuntimeError::RuntimeError(std::int32_t number)
    : RuntimeError(number, ClassicErrorDescription(number)) {}

std::string ClassicErrorDescription(std::int32_t number) {
  switch (number) {
    case 5:
      return "Invalid procedure call or argument";
    case 6:
      return "Overflow";
    case 7:
      return "Out of memory";
    case 13:
      return "Type mismatch";
    case 52:
      return "Bad file name or number";
    case 53:
      return "File not found";
    case 55:
      return "File already open";
    case 57:
      return "Device I/O error";
    case 58:
      return "File already exists";
    case 61:
      return "Disk full";
    case 62:
      return "Input past end of file";
    case 64:
      return "Bad file name";
    case 67:
      return "Too many files";
    case 68:
      return "Device unavailable";
    case 70:
      return "Permission denied";
    case 71:
      return "Disk not ready";
    case 75:
      return "Path/File access error";
    case 76:
      return "Path not found";
    case 445:
      return "Object doesn't support this action";
    default:
      return "Application-defined or object-defined error";
  }
}

}  // namespace ravlin

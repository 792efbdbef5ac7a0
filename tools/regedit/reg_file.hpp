#pragma once

#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/registry.hpp"

namespace ravlin {

// A registry file refused before anything was changed; what() reads "line N: reason".
class RegFileError : public std::runtime_error {
 public:
  RegFileError(int line, const std::string& reason);
  int line() const { return line_; }

 private:
  int line_;
};

// The registry file's text decoded to UTF-16 whatever its encoding, one entry per line
// without its line end (CR LF, LF or a lone CR). The encoding is UTF-16LE or UTF-8 when the
// file starts with their byte order mark; otherwise Windows-1252 for a file that starts with
// "REGEDIT4" and UTF-8 for any other. Throws RegFileError for UTF-16 cut in a character.
std::vector<std::u16string> DecodeRegFile(std::span<const std::uint8_t> bytes);

// One change that a registry file asks for. Names are in the ANSI code page, as the
// registry layer takes them; `line` is where the change was written, for error messages.
struct RegOperation {
  enum class Kind {
    kOpenKey,      // [key]: create the key when missing; the values below it go there
    kDeleteKey,    // [-key]: delete the key with everything below it
    kSetValue,     // "name"=data or @=data, on the key opened last
    kDeleteValue,  // "name"=- or @=-, on the key opened last
  };

  Kind kind = Kind::kOpenKey;
  int line = 0;
  RegKey root = 0;        // key operations: the predefined root
  std::string path;       // key operations: below the root, components joined by '\'
  std::string valueName;  // value operations: "" is the default value
  std::uint32_t type = 0;
  std::vector<std::uint8_t> data;  // exactly as stored (string types as UTF-16LE)

  bool operator==(const RegOperation&) const = default;
};

// Parses a whole registry file into its changes, or throws RegFileError at the first fault:
// nothing is changed until the whole file has been read.
std::vector<RegOperation> ParseRegFile(const std::vector<std::u16string>& lines);
std::vector<RegOperation> ParseRegFile(std::span<const std::uint8_t> bytes);

// The key of a key operation as a registry file writes it, with the root's long name:
// "HKEY_LOCAL_MACHINE\Ravlin_System\ControlSet001".
std::string RegKeyText(const RegOperation& operation);

// The predefined root named by "HKEY_LOCAL_MACHINE", "HKLM" and the like (ignoring case),
// or 0.
RegKey RootKeyFromRegName(std::u16string_view name);

}  // namespace ravlin

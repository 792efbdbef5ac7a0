// The files of Ravlin_Required_Files that the static program carries inside itself.
#pragma once

#include <span>
#include <string_view>

namespace ravlin {

struct EmbeddedFile {
  std::string_view name;
  std::span<const unsigned char> bytes;
};

// Generated at build time from data/Ravlin_Required_Files.
std::span<const EmbeddedFile> EmbeddedRequiredFiles();

}  // namespace ravlin

#include "platform/posix/runtime/posix_environment.hpp"

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <string_view>
#include <utility>

#include "platform/codepage.hpp"
#include "platform/text_bytes.hpp"

namespace ravlin {
namespace {}  // namespace

PosixEnvironment::PosixEnvironment(std::shared_ptr<const DriveTable> drives,
                                   std::filesystem::path programFolder)
    : drives_(std::move(drives)), programFolder_(std::move(programFolder)) {}

std::optional<std::string> PosixEnvironment::GetEnvironmentVariable(const std::string& name) {
  if (name.empty() || name.find('=') != std::string::npos) return std::nullopt;
  if (const char* value = std::getenv(name.c_str())) return Utf8ToAnsi(value);
  // Windows ignores the case of variable names ("windir" is "WINDIR").
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string_view text(*entry);
    const auto equals = text.find('=');
    if (equals != std::string_view::npos && EqualsIgnoringAsciiCase(text.substr(0, equals), name))
      return Utf8ToAnsi(text.substr(equals + 1));
  }
  return std::nullopt;
}

std::string PosixEnvironment::ProgramFolder() {
  return drives_->ToWindows(programFolder_);
}

}  // namespace ravlin

#include "app/reg_file_check.hpp"

#include <algorithm>
#include <cstdint>
#include <span>
#include <utility>

#include "platform/text_bytes.hpp"
#include "tools/regedit/reg_file.hpp"

namespace ravlin {
namespace {

// A name component "." or ".." is no legitimate key of a control set, and a layer that took
// it as a step up would leave the control set.
bool HasDotComponent(std::string_view path) {
  for (std::size_t start = 0; start <= path.size();) {
    const auto end = std::min(path.find('\\', start), path.size());
    const auto component = path.substr(start, end - start);
    if (component == "." || component == "..") return true;
    start = end + 1;
  }
  return false;
}

bool Inside(const RegOperation& operation, std::string_view controlSetKey) {
  if (operation.root != kHkeyLocalMachine ||
      // Key names compare as the registry compares them, ignoring case. Folding ASCII only
      // can only make more keys look outside, never fewer.
      !StartsWithIgnoringAsciiCase(operation.path, controlSetKey) ||
      HasDotComponent(operation.path))
    return false;
  if (operation.path.size() == controlSetKey.size())
    return operation.kind == RegOperation::Kind::kOpenKey;
  return operation.path[controlSetKey.size()] == '\\';
}

}  // namespace

CheckedRegFile CheckRegFile(std::string_view content, std::string_view controlSetKey) {
  std::vector<RegOperation> operations;
  try {
    operations = ParseRegFile(
        std::span(reinterpret_cast<const std::uint8_t*>(content.data()), content.size()));
  } catch (const RegFileError& error) {
    return {{},
            "The registry file cannot be read (" + std::string(error.what()) +
                "); nothing of it was imported."};
  }
  const auto outside = std::find_if(operations.begin(), operations.end(), [&](const auto& op) {
    const bool keyOperation =
        op.kind == RegOperation::Kind::kOpenKey || op.kind == RegOperation::Kind::kDeleteKey;
    return keyOperation && !Inside(op, controlSetKey);
  });
  if (outside == operations.end()) return {std::move(operations), {}};
  return {{},
          "The file writes outside HKEY_LOCAL_MACHINE\\" + std::string(controlSetKey) +
              ", so nothing of it was imported: line " + std::to_string(outside->line) +
              (outside->kind == RegOperation::Kind::kDeleteKey ? " deletes " : " names ") +
              "the key " + RegKeyText(*outside) + "."};
}

}  // namespace ravlin

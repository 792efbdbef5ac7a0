#include "platform/registry_data.hpp"

#include <cstring>
#include <string>

#include "platform/codepage.hpp"
#include "platform/registry.hpp"
#include "platform/text_bytes.hpp"

namespace ravlin {

bool IsRegistryStringType(std::uint32_t type) {
  return type == kRegSz || type == kRegExpandSz || type == kRegMultiSz;
}

std::int32_t HandOutQueriedValue(std::uint32_t storedType, const std::vector<std::uint8_t>& stored,
                                 std::uint32_t* type, std::uint8_t* data, std::uint32_t* dataSize) {
  std::string text;
  if (IsRegistryStringType(storedType)) {
    text = Utf16ToAnsi(Utf16FromLe(stored));
  } else {
    text.assign(stored.begin(), stored.end());
  }
  if (type != nullptr) *type = storedType;
  const auto needed = static_cast<std::uint32_t>(text.size());
  if (data == nullptr) {
    if (dataSize != nullptr) *dataSize = needed;
    return kErrorSuccess;
  }
  const auto room = *dataSize;
  *dataSize = needed;
  if (room < needed) return kErrorMoreData;
  if (!text.empty()) std::memcpy(data, text.data(), text.size());
  return kErrorSuccess;
}

}  // namespace ravlin

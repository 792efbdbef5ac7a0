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

namespace {

std::int32_t HandOut(std::uint32_t storedType, std::string_view bytes, std::uint32_t* type,
                     std::uint8_t* data, std::uint32_t* dataSize) {
  if (type != nullptr) *type = storedType;
  const auto needed = static_cast<std::uint32_t>(bytes.size());
  if (data == nullptr) {
    if (dataSize != nullptr) *dataSize = needed;
    return kErrorSuccess;
  }
  const auto room = *dataSize;
  *dataSize = needed;
  if (room < needed) return kErrorMoreData;
  if (!bytes.empty()) std::memcpy(data, bytes.data(), bytes.size());
  return kErrorSuccess;
}

std::string_view BytesOf(const std::vector<std::uint8_t>& stored) {
  return {reinterpret_cast<const char*>(stored.data()), stored.size()};
}

}  // namespace

std::int32_t HandOutQueriedValue(std::uint32_t storedType, const std::vector<std::uint8_t>& stored,
                                 std::uint32_t* type, std::uint8_t* data, std::uint32_t* dataSize) {
  if (!IsRegistryStringType(storedType))
    return HandOut(storedType, BytesOf(stored), type, data, dataSize);
  const std::string text = Utf16ToAnsi(Utf16FromLe(stored));
  return HandOut(storedType, text, type, data, dataSize);
}

std::int32_t HandOutStoredValue(std::uint32_t storedType, const std::vector<std::uint8_t>& stored,
                                std::uint32_t* type, std::uint8_t* data, std::uint32_t* dataSize) {
  return HandOut(storedType, BytesOf(stored), type, data, dataSize);
}

}  // namespace ravlin

#include "app/vendor_driver.hpp"

#include <algorithm>

#include "platform/text_bytes.hpp"

namespace ravlin {
namespace {

std::vector<std::uint32_t> Tags(const std::vector<std::uint8_t>& list) {
  if (list.size() < 4) return {};
  const std::uint32_t count = ReadLe32(list);
  std::vector<std::uint32_t> tags;
  for (std::size_t at = 4; at + 4 <= list.size() && tags.size() < count; at += 4)
    tags.push_back(ReadLe32(list, at));
  return tags;
}

}  // namespace

bool GroupOrderHasTag(const std::vector<std::uint8_t>& list, std::uint32_t tag) {
  const auto tags = Tags(list);
  return std::find(tags.begin(), tags.end(), tag) != tags.end();
}

std::uint32_t NewGroupTag(const std::vector<std::uint8_t>& list) {
  const auto tags = Tags(list);
  return tags.empty() ? 1 : *std::max_element(tags.begin(), tags.end()) + 1;
}

std::vector<std::uint8_t> GroupOrderWithTag(const std::vector<std::uint8_t>& list,
                                            std::uint32_t tag) {
  std::vector<std::uint32_t> tags = Tags(list);
  if (std::find(tags.begin(), tags.end(), tag) == tags.end()) tags.push_back(tag);
  std::vector<std::uint8_t> result;
  AppendLe32(result, static_cast<std::uint32_t>(tags.size()));
  for (const std::uint32_t each : tags) AppendLe32(result, each);
  return result;
}

}  // namespace ravlin

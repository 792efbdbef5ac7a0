// A hive and its transaction logs made of any bytes, through the recovery that runs before a
// dirty hive is mounted or read. The input is the hive's length (4 bytes, little-endian), the
// hive, one byte naming where the rest goes (.LOG, .LOG1, or .LOG1 and .LOG2 halved), then the
// logs. A recovery may refuse; what it must never do is change a hive it refuses or leaves
// clean, or hand out a hive that is still dirty or whose bins do not follow one another.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "platform/hive_base_block.hpp"
#include "platform/hive_recovery.hpp"
#include "platform/text_bytes.hpp"

using namespace ravlin;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 5) return 0;
  const std::span input(data, size);
  const std::size_t hiveSize = std::min<std::size_t>(ReadLe32(input, 0), size - 5);
  const std::vector<std::uint8_t> found(data + 4, data + 4 + hiveSize);
  const std::uint8_t layout = data[4 + hiveSize];
  const std::vector<std::uint8_t> rest(data + 5 + hiveSize, data + size);

  HiveLogFiles logs{"system", std::nullopt, std::nullopt, std::nullopt};
  switch (layout % 3) {
    case 0:
      logs.log = rest;
      break;
    case 1:
      logs.log1 = rest;
      break;
    default:
      logs.log1.emplace(rest.begin(), rest.begin() + static_cast<long>(rest.size() / 2));
      logs.log2.emplace(rest.begin() + static_cast<long>(rest.size() / 2), rest.end());
      break;
  }

  auto hive = found;
  const auto recovery = RecoverHive(hive, logs);
  if (recovery.state != HiveRecovery::State::kRecovered) {
    if (hive != found) std::abort();
    if (recovery.state == HiveRecovery::State::kRefused && recovery.problem.empty()) std::abort();
    return 0;
  }
  const auto bins = ReadLe32(hive, hive_base::kBinsSize);
  if (HiveIsDirty(hive) || !HiveBinsSound(hive, bins) || recovery.logs.empty() ||
      recovery.Summary().empty())
    std::abort();
  return 0;
}

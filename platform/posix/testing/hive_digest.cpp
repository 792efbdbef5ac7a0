#include "tests/support/hive_digest.hpp"

#include <hivex.h>

#include <cstdlib>
#include <memory>
#include <string_view>
#include <type_traits>

namespace ravlin::testing {
namespace {

struct HiveCloser {
  void operator()(hive_h* hive) const { hivex_close(hive); }
};

// FNV-1a over a stream of fields, each closed by its length so that fields cannot run into
// one another.
class Digest {
 public:
  void Add(std::string_view bytes) {
    for (const char c : bytes) Mix(static_cast<std::uint8_t>(c));
    for (int i = 0; i < 8; ++i) Mix(static_cast<std::uint8_t>(bytes.size() >> (8 * i)));
  }
  void Add(std::uint64_t number) {
    for (int i = 0; i < 8; ++i) Mix(static_cast<std::uint8_t>(number >> (8 * i)));
  }
  std::uint64_t value() const { return value_; }

 private:
  void Mix(std::uint8_t byte) { value_ = (value_ ^ byte) * 0x100000001B3ULL; }
  std::uint64_t value_ = 0xCBF29CE484222325ULL;
};

struct Freed {
  void operator()(void* memory) const { std::free(memory); }
};

bool AddKey(hive_h* hive, hive_node_h node, Digest& digest, int depth) {
  if (depth > 512) return false;
  const std::unique_ptr<char, Freed> name(hivex_node_name(hive, node));
  if (!name) return false;
  digest.Add(std::string_view(name.get()));
  const std::unique_ptr<hive_value_h, Freed> values(hivex_node_values(hive, node));
  if (!values) return false;
  for (const hive_value_h* value = values.get(); *value != 0; ++value) {
    const std::unique_ptr<char, Freed> valueName(hivex_value_key(hive, *value));
    // Hives hold types beyond hive_type's enumerators: the number is kept as a number.
    std::underlying_type_t<hive_type> type = 0;
    std::size_t size = 0;
    const std::unique_ptr<char, Freed> data(
        hivex_value_value(hive, *value, reinterpret_cast<hive_type*>(&type), &size));
    if (!valueName || !data) return false;
    digest.Add(std::string_view(valueName.get()));
    digest.Add(static_cast<std::uint64_t>(type));
    digest.Add(std::string_view(data.get(), size));
  }
  const std::unique_ptr<hive_node_h, Freed> children(hivex_node_children(hive, node));
  if (!children) return false;
  for (const hive_node_h* child = children.get(); *child != 0; ++child)
    if (!AddKey(hive, *child, digest, depth + 1)) return false;
  digest.Add(std::string_view("end of key"));
  return true;
}

}  // namespace

std::optional<std::map<std::string, std::uint64_t>> HiveDigests(const std::filesystem::path& file) {
  const std::unique_ptr<hive_h, HiveCloser> hive(hivex_open(file.c_str(), 0));
  if (!hive) return std::nullopt;
  const hive_node_h root = hivex_root(hive.get());
  const std::unique_ptr<hive_node_h, Freed> children(hivex_node_children(hive.get(), root));
  if (root == 0 || !children) return std::nullopt;
  std::map<std::string, std::uint64_t> digests;
  for (const hive_node_h* child = children.get(); *child != 0; ++child) {
    const std::unique_ptr<char, Freed> name(hivex_node_name(hive.get(), *child));
    Digest digest;
    if (!name || !AddKey(hive.get(), *child, digest, 0)) return std::nullopt;
    digests[name.get()] = digest.value();
  }
  return digests;
}

}  // namespace ravlin::testing

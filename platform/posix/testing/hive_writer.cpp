#include "platform/posix/testing/hive_writer.hpp"

#include <hivex.h>

#include <memory>
#include <stdexcept>
#include <unordered_map>

#include "platform/codepage.hpp"
#include "platform/posix/registry/hive_generator.hpp"

namespace ravlin::testing {
namespace {

struct HiveCloser {
  void operator()(hive_h* hive) const { hivex_close(hive); }
};

char AsciiLower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

}  // namespace

TestValue SzValue(const std::string& name, const std::string& text, std::uint32_t type) {
  TestValue value{name, type, {}};
  for (char16_t unit : Utf8ToUtf16(text)) {
    value.data.push_back(static_cast<std::uint8_t>(unit & 0xFF));
    value.data.push_back(static_cast<std::uint8_t>(unit >> 8));
  }
  value.data.push_back(0);
  value.data.push_back(0);
  return value;
}

TestValue DwordValue(const std::string& name, std::uint32_t number) {
  TestValue value{name, kHiveDword, {}};
  for (int i = 0; i < 4; ++i) value.data.push_back(static_cast<std::uint8_t>(number >> (8 * i)));
  return value;
}

TestValue BinaryValue(const std::string& name, std::vector<std::uint8_t> data) {
  return TestValue{name, kHiveBinary, std::move(data)};
}

std::size_t MakeTestHive(const std::filesystem::path& file, const std::vector<TestKey>& keys,
                         const std::string& rootKeyName) {
  WriteEmptyHive(file, rootKeyName);
  const std::unique_ptr<hive_h, HiveCloser> hive(hivex_open(file.c_str(), HIVEX_OPEN_WRITE));
  if (!hive) throw std::runtime_error("hivex cannot open " + file.string());
  // Every key below the root is made here, so the keys made so far, by their folded paths,
  // find a parent at once: a walk through its subkeys would cost a large hive minutes.
  std::unordered_map<std::string, hive_node_h> made{{"", hivex_root(hive.get())}};
  for (const auto& key : keys) {
    hive_node_h node = made.at("");
    std::string folded;
    std::size_t start = 0;
    while (start < key.path.size()) {
      auto end = key.path.find('\\', start);
      if (end == std::string::npos) end = key.path.size();
      const auto part = key.path.substr(start, end - start);
      start = end + 1;
      if (part.empty()) continue;
      folded += '\\';
      for (const char c : part) folded += AsciiLower(c);
      const auto [entry, fresh] = made.try_emplace(folded, 0);
      if (fresh) entry->second = hivex_node_add_child(hive.get(), node, part.c_str());
      if (entry->second == 0) throw std::runtime_error("hivex cannot add key " + part);
      node = entry->second;
    }
    std::vector<hive_set_value> values;
    for (const auto& value : key.values)
      values.push_back(
          hive_set_value{const_cast<char*>(value.name.c_str()), static_cast<hive_type>(value.type),
                         value.data.size(),
                         reinterpret_cast<char*>(const_cast<std::uint8_t*>(value.data.data()))});
    if (!values.empty() &&
        hivex_node_set_values(hive.get(), node, values.size(), values.data(), 0) != 0)
      throw std::runtime_error("hivex cannot set the values of " + key.path);
  }
  if (hivex_commit(hive.get(), nullptr, 0) != 0)
    throw std::runtime_error("hivex cannot commit " + file.string());
  return made.size() - 1;
}

}  // namespace ravlin::testing

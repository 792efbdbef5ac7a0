#include "tests/support/hive_files.hpp"

#include <hivex.h>

#include <cstdio>
#include <memory>
#include <stdexcept>

#include "platform/codepage.hpp"
#include "platform/posix/registry/hive_generator.hpp"

namespace ravlin::testing {
namespace {

std::string ShellQuote(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) {
    if (c == '\'')
      quoted += "'\\''";
    else
      quoted += c;
  }
  return quoted + "'";
}

struct HiveCloser {
  void operator()(hive_h* hive) const { hivex_close(hive); }
};

}  // namespace

std::filesystem::path TestDataDir() {
  return std::filesystem::path(RAVLIN_SOURCE_DIR) / "tests" / "data";
}

void DecompressTestHive(const std::string& name, const std::filesystem::path& destination) {
  const auto source = TestDataDir() / "hives" / (name + ".xz");
  if (!std::filesystem::exists(source)) throw std::runtime_error("missing " + source.string());
  std::filesystem::create_directories(destination.parent_path());
  const std::string command =
      "xz -dc " + ShellQuote(source.string()) + " > " + ShellQuote(destination.string());
  if (std::system(command.c_str()) != 0) throw std::runtime_error("failed: " + command);
}

TestValue SzValue(const std::string& name, const std::string& text) {
  TestValue value{name, 1, {}};
  for (char16_t unit : Utf8ToUtf16(text)) {
    value.data.push_back(static_cast<std::uint8_t>(unit & 0xFF));
    value.data.push_back(static_cast<std::uint8_t>(unit >> 8));
  }
  value.data.push_back(0);
  value.data.push_back(0);
  return value;
}

TestValue DwordValue(const std::string& name, std::uint32_t number) {
  TestValue value{name, 4, {}};
  for (int i = 0; i < 4; ++i) value.data.push_back(static_cast<std::uint8_t>(number >> (8 * i)));
  return value;
}

TestValue BinaryValue(const std::string& name, std::vector<std::uint8_t> data) {
  return TestValue{name, 3, std::move(data)};
}

void MakeTestHive(const std::filesystem::path& file, const std::vector<TestKey>& keys,
                  const std::string& rootKeyName) {
  WriteEmptyHive(file, rootKeyName);
  std::unique_ptr<hive_h, HiveCloser> hive(hivex_open(file.c_str(), HIVEX_OPEN_WRITE));
  if (!hive) throw std::runtime_error("hivex cannot open " + file.string());
  for (const auto& key : keys) {
    hive_node_h node = hivex_root(hive.get());
    std::size_t start = 0;
    while (start < key.path.size()) {
      auto end = key.path.find('\\', start);
      if (end == std::string::npos) end = key.path.size();
      const auto part = key.path.substr(start, end - start);
      start = end + 1;
      if (part.empty()) continue;
      hive_node_h child = hivex_node_get_child(hive.get(), node, part.c_str());
      if (child == 0) child = hivex_node_add_child(hive.get(), node, part.c_str());
      if (child == 0) throw std::runtime_error("hivex cannot add key " + part);
      node = child;
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
}

std::string ExportHive(const std::filesystem::path& file) {
  // Perl prints names as Latin-1 unless told to speak UTF-8; its warnings go to stderr.
  const std::string command =
      "PERL_UNICODE=SDA hivexregedit --export --prefix 'HKEY_LOCAL_MACHINE\\TEST' " +
      ShellQuote(file.string()) + " '\\' 2>/dev/null";
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(::popen(command.c_str(), "r"), ::pclose);
  if (!pipe) throw std::runtime_error("cannot run hivexregedit");
  std::string output;
  char buffer[4096];
  std::size_t n = 0;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe.get())) > 0) output.append(buffer, n);
  const int status = ::pclose(pipe.release());
  if (status != 0) throw std::runtime_error("hivexregedit cannot read " + file.string());
  return output;
}

}  // namespace ravlin::testing

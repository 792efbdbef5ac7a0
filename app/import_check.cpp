#include "app/import_check.hpp"

#include <cstdint>
#include <map>
#include <optional>

#include "platform/owned_reg_key.hpp"
#include "platform/text_bytes.hpp"

namespace ravlin {
namespace {

struct StoredData {
  std::uint32_t type = 0;
  std::vector<std::uint8_t> data;
};

struct ExpectedValue {
  std::string name;
  std::optional<StoredData> stored;  // empty: the file deletes it
};

struct ExpectedKey {
  std::string path;
  bool present = true;
  std::vector<ExpectedValue> values;  // in the order the file first names them
};

// What the registry must hold once the whole file has been applied, later lines winning.
class ExpectedState {
 public:
  explicit ExpectedState(const std::vector<RegOperation>& operations) {
    for (const RegOperation& operation : operations) Apply(operation);
  }
  const std::vector<ExpectedKey>& Keys() const { return keys_; }

 private:
  void Apply(const RegOperation& operation) {
    switch (operation.kind) {
      case RegOperation::Kind::kOpenKey:
        current_ = IndexOf(operation.path);
        keys_[*current_].present = true;
        break;
      case RegOperation::Kind::kDeleteKey: {
        const std::string deleted = LowerAscii(operation.path);
        IndexOf(operation.path);
        for (auto& [lower, index] : index_)
          if (lower == deleted || lower.starts_with(deleted + "\\")) {
            keys_[index].present = false;
            keys_[index].values.clear();
          }
        current_.reset();
        break;
      }
      case RegOperation::Kind::kSetValue:
      case RegOperation::Kind::kDeleteValue: {
        if (!current_) break;
        ExpectedValue& value = ValueOf(keys_[*current_], operation.valueName);
        if (operation.kind == RegOperation::Kind::kSetValue)
          value.stored = StoredData{operation.type, operation.data};
        else
          value.stored.reset();
        break;
      }
    }
  }

  std::size_t IndexOf(const std::string& path) {
    const auto [found, added] = index_.try_emplace(LowerAscii(path), keys_.size());
    if (added) keys_.push_back({path, true, {}});
    return found->second;
  }

  static ExpectedValue& ValueOf(ExpectedKey& key, const std::string& name) {
    for (ExpectedValue& value : key.values)
      if (EqualsIgnoringAsciiCase(value.name, name)) return value;
    return key.values.emplace_back(ExpectedValue{name, std::nullopt});
  }

  std::vector<ExpectedKey> keys_;
  std::map<std::string, std::size_t> index_;
  std::optional<std::size_t> current_;
};

std::string KeyText(const ExpectedKey& key) {
  return "HKEY_LOCAL_MACHINE\\" + key.path;
}

std::string ValueText(const ExpectedKey& key, const ExpectedValue& value) {
  return (value.name.empty() ? std::string("the default value")
                             : "the value \"" + value.name + "\"") +
         " of " + KeyText(key);
}

// The value as stored, or the status that kept it from being read.
std::int32_t ReadStored(Registry& registry, RegKey key, const std::string& name,
                        StoredData& stored) {
  std::uint32_t size = 0;
  auto status = registry.RegQueryValueExW(key, name, &stored.type, nullptr, &size);
  if (status != kErrorSuccess) return status;
  stored.data.resize(size);
  status = registry.RegQueryValueExW(key, name, &stored.type, stored.data.data(), &size);
  stored.data.resize(size);
  return status;
}

std::string ValueDifference(Registry& registry, RegKey key, const ExpectedKey& expectedKey,
                            const ExpectedValue& expected) {
  StoredData found;
  const std::int32_t status = ReadStored(registry, key, expected.name, found);
  if (!expected.stored) {
    if (status == kErrorFileNotFound) return {};
    return ValueText(expectedKey, expected) + ", which the file deletes, is still there.";
  }
  if (status == kErrorFileNotFound)
    return ValueText(expectedKey, expected) + ", which the file writes, is not there.";
  if (status != kErrorSuccess)
    return ValueText(expectedKey, expected) + " cannot be read back (status " +
           std::to_string(status) + ").";
  if (found.type != expected.stored->type || found.data != expected.stored->data)
    return ValueText(expectedKey, expected) + " is not as the file writes it.";
  return {};
}

}  // namespace

std::string FirstImportDifference(Registry& registry, const std::vector<RegOperation>& operations) {
  const ExpectedState expected(operations);
  for (const ExpectedKey& key : expected.Keys()) {
    OwnedRegKey opened(registry);
    RegKey handle = 0;
    const std::int32_t status =
        registry.RegOpenKeyExA(kHkeyLocalMachine, key.path, 0, kKeyQueryValue, handle);
    if (status == kErrorSuccess) opened.Adopt(handle);
    if (!key.present) {
      if (status == kErrorSuccess)
        return "the key " + KeyText(key) + ", which the file deletes, is still there.";
      continue;
    }
    if (status == kErrorFileNotFound)
      return "the key " + KeyText(key) + ", which the file writes, is not there.";
    if (status != kErrorSuccess)
      return "the key " + KeyText(key) + " cannot be read back (status " + std::to_string(status) +
             ").";
    for (const ExpectedValue& value : key.values)
      if (std::string difference = ValueDifference(registry, handle, key, value);
          !difference.empty())
        return difference;
  }
  return {};
}

}  // namespace ravlin

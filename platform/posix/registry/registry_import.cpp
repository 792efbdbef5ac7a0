#include "platform/posix/registry/registry_import.hpp"

#include <map>
#include <optional>
#include <utility>
#include <vector>

namespace ravlin {
namespace {

std::string ValueText(const std::string& name) {
  return name.empty() ? "the default value" : "the value \"" + name + "\"";
}

// A key this import opened, closed when it goes.
class OpenKey {
 public:
  OpenKey(Registry& registry, RegKey key) : registry_(&registry), key_(key) {}
  OpenKey(OpenKey&& other) noexcept
      : registry_(other.registry_), key_(std::exchange(other.key_, 0)) {}
  OpenKey& operator=(OpenKey&& other) noexcept {
    std::swap(registry_, other.registry_);
    std::swap(key_, other.key_);
    return *this;
  }
  ~OpenKey() {
    if (key_ != 0) registry_->RegCloseKey(key_);
  }

  RegKey get() const { return key_; }
  std::int32_t Flush() const { return registry_->RegFlushKey(key_); }

 private:
  Registry* registry_;
  RegKey key_;
};

class Importer {
 public:
  explicit Importer(Registry& registry) : registry_(registry) {}

  void Apply(const RegOperation& operation);
  void Finish();

 private:
  // The first component of a path below a root names the key that is held open for the
  // whole import; the rest is relative to it.
  struct SplitPath {
    std::string anchorName;
    std::string rest;
  };
  static SplitPath Split(const std::string& path);
  static std::string AnchorId(RegKey root, const std::string& name);
  std::optional<RegKey> Anchor(const RegOperation& operation, const std::string& name, bool create);
  void OpenSection(const RegOperation& operation);
  void DeleteKey(const RegOperation& operation);
  void SetValue(const RegOperation& operation);
  void DeleteValue(const RegOperation& operation);

  Registry& registry_;
  std::map<std::string, OpenKey> anchors_;  // in the order of AnchorId; one per hive part
  std::vector<OpenKey> retired_;            // anchors whose key the file deleted
  std::optional<OpenKey> sectionKey_;       // the [key] being written, when it is no anchor
  RegKey section_ = 0;                      // where the values go; 0 before any [key]
};

Importer::SplitPath Importer::Split(const std::string& path) {
  const auto slash = path.find('\\');
  if (slash == std::string::npos) return {path, ""};
  return {path.substr(0, slash), path.substr(slash + 1)};
}

std::string Importer::AnchorId(RegKey root, const std::string& name) {
  std::string id = std::to_string(root) + "\\";
  for (const char c : name) id += (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
  return id;
}

std::optional<RegKey> Importer::Anchor(const RegOperation& operation, const std::string& name,
                                       bool create) {
  const auto id = AnchorId(operation.root, name);
  if (const auto found = anchors_.find(id); found != anchors_.end()) return found->second.get();
  RegKey key = 0;
  const auto status =
      create ? registry_.RegCreateKeyExA(operation.root, name, "", 0, kKeyAllAccess, key, nullptr)
             : registry_.RegOpenKeyExA(operation.root, name, 0, kKeyAllAccess, key);
  if (status == kErrorFileNotFound && !create) return std::nullopt;
  if (status != kErrorSuccess) {
    RegOperation named = operation;
    named.path = name;
    throw RegImportError(operation.line, "cannot open the key " + RegKeyText(named), status);
  }
  return anchors_.emplace(id, OpenKey(registry_, key)).first->second.get();
}

void Importer::OpenSection(const RegOperation& operation) {
  if (operation.path.empty()) {
    section_ = operation.root;
    return;
  }
  const auto [anchorName, rest] = Split(operation.path);
  const auto anchor = *Anchor(operation, anchorName, true);
  if (rest.empty()) {
    section_ = anchor;
    return;
  }
  RegKey key = 0;
  const auto status = registry_.RegCreateKeyExA(anchor, rest, "", 0, kKeyAllAccess, key, nullptr);
  if (status != kErrorSuccess)
    throw RegImportError(operation.line, "cannot create the key " + RegKeyText(operation), status);
  sectionKey_.emplace(registry_, key);
  section_ = key;
}

void Importer::DeleteKey(const RegOperation& operation) {
  const auto [anchorName, rest] = Split(operation.path);
  std::int32_t status = kErrorSuccess;
  if (rest.empty()) {
    // The held key itself goes; its handle stays open (reaching nothing) until the end, as
    // closing the last key of a hive would write it before the file is through.
    if (const auto found = anchors_.find(AnchorId(operation.root, anchorName));
        found != anchors_.end()) {
      retired_.push_back(std::move(found->second));
      anchors_.erase(found);
    }
    status = registry_.RegDeleteTreeA(operation.root, anchorName);
  } else if (const auto anchor = Anchor(operation, anchorName, false)) {
    status = registry_.RegDeleteTreeA(*anchor, rest);
  }
  if (status != kErrorSuccess && status != kErrorFileNotFound)
    throw RegImportError(operation.line, "cannot delete the key " + RegKeyText(operation), status);
}

void Importer::SetValue(const RegOperation& operation) {
  const auto status =
      registry_.RegSetValueExW(section_, operation.valueName, operation.type, operation.data.data(),
                               static_cast<std::uint32_t>(operation.data.size()));
  if (status == kErrorNotSupported) {
    // libhivex writes every value of a key again for any change, each in one piece, which
    // Windows XP cannot read beyond this size.
    const auto reason = operation.data.size() > kLargestSingleCellValue
                            ? " longer than 16,344 bytes: Windows XP could not read it"
                            : ": its key holds a value longer than 16,344 bytes that Windows XP "
                              "could no longer read once rewritten";
    throw RegImportError(operation.line, "cannot write " + ValueText(operation.valueName) + reason,
                         status);
  }
  if (status != kErrorSuccess)
    throw RegImportError(operation.line, "cannot write " + ValueText(operation.valueName), status);
}

void Importer::DeleteValue(const RegOperation& operation) {
  const auto status = registry_.RegDeleteValueA(section_, operation.valueName);
  if (status != kErrorSuccess && status != kErrorFileNotFound)
    throw RegImportError(operation.line, "cannot delete " + ValueText(operation.valueName), status);
}

void Importer::Apply(const RegOperation& operation) {
  switch (operation.kind) {
    case RegOperation::Kind::kOpenKey:
      sectionKey_.reset();
      OpenSection(operation);
      break;
    case RegOperation::Kind::kDeleteKey:
      sectionKey_.reset();
      section_ = 0;
      DeleteKey(operation);
      break;
    case RegOperation::Kind::kSetValue:
      SetValue(operation);
      break;
    case RegOperation::Kind::kDeleteValue:
      DeleteValue(operation);
      break;
  }
}

void Importer::Finish() {
  sectionKey_.reset();
  for (auto& [id, key] : anchors_) {
    if (const auto status = key.Flush(); status != kErrorSuccess)
      throw RegImportError(0, "cannot save the changes to the registry", status);
  }
  retired_.clear();
  anchors_.clear();
}

}  // namespace

RegImportError::RegImportError(int line, const std::string& reason, std::int32_t status)
    : std::runtime_error((line > 0 ? "line " + std::to_string(line) + ": " : std::string()) +
                         reason + " (status " + std::to_string(status) + ")"),
      status_(status) {}

void ImportRegOperations(PosixRegistry& registry, const std::vector<RegOperation>& operations) {
  Importer importer(registry);
  try {
    for (const auto& operation : operations) importer.Apply(operation);
    importer.Finish();
  } catch (...) {
    // Before the keys close: closing the last key of a hive would write what was done.
    registry.DiscardChanges();
    throw;
  }
}

std::optional<ImportReply> ImportThroughHolder(const std::filesystem::path& store,
                                               const std::vector<RegOperation>& operations) {
  std::vector<Mount> mounts;
  {
    const StoreLock lock(store, StoreLock::Mode::kShared);
    mounts = MountTable(store).Read();
  }
  for (const auto& operation : operations) {
    if (operation.kind != RegOperation::Kind::kOpenKey &&
        operation.kind != RegOperation::Kind::kDeleteKey)
      continue;
    const char* root = operation.root == kHkeyLocalMachine ? "HKLM"
                       : operation.root == kHkeyUsers      ? "HKU"
                                                           : nullptr;
    if (root == nullptr) continue;
    const auto mount =
        MountTable::Find(mounts, root, operation.path.substr(0, operation.path.find('\\')));
    if (mount) return SendImport(store, ImportSocketName(*mount), operations);
  }
  return std::nullopt;
}

}  // namespace ravlin

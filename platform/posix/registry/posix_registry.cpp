#include "platform/posix/registry/posix_registry.hpp"

#include <fcntl.h>
#include <malloc.h>

#include <cerrno>
#include <cstdlib>
#include <optional>
#include <stdexcept>
#include <system_error>

#include "platform/codepage.hpp"
#include "platform/posix/registry/hive_generator.hpp"
#include "platform/posix/registry/posix_registry_names.hpp"
#include "platform/posix/registry/registry_import.hpp"

namespace ravlin {
namespace {

// Windows' limit for one component of a key path.
constexpr std::size_t kLongestKeyName = 255;
constexpr std::uint32_t kCreatedNewKey = 1;
constexpr std::uint32_t kOpenedExistingKey = 2;
// Hive images of this size and more get pages of their own, which go back to the system when
// the image is dropped.
constexpr int kOwnPagesFrom = 1 << 20;

}  // namespace

PosixRegistry::Locked::Locked(PosixRegistry& registry, StoreLock::Mode mode) : registry_(registry) {
  if (registry_.lockDepth_ == 0) {
    lock_ = std::make_unique<StoreLock>(registry_.store_, mode);
    registry_.lockMode_ = mode;
  } else if (mode == StoreLock::Mode::kExclusive &&
             registry_.lockMode_ != StoreLock::Mode::kExclusive) {
    throw std::logic_error("the store lock cannot be raised while it is held shared");
  }
  ++registry_.lockDepth_;
}

PosixRegistry::Locked::~Locked() {
  --registry_.lockDepth_;
}

PosixRegistry::PosixRegistry(std::filesystem::path store, std::shared_ptr<const DriveTable> drives,
                             std::shared_ptr<const PrivilegeState> privileges)
    : store_(std::move(store)),
      drives_(std::move(drives)),
      privileges_(std::move(privileges)),
      mounts_(store_) {
  // After every import that another process made, a hive is dropped and read again. Once
  // such an image is freed, the allocator would keep blocks of its size in the heap, where
  // long-lived data placed above one keeps it from going back to the system: the process then
  // holds two images of a large hive (measured: a repair of an 11 MB hive peaked at 50 MB
  // instead of 40 MB).
  ::mallopt(M_MMAP_THRESHOLD, kOwnPagesFrom);
}

PosixRegistry::~PosixRegistry() {
  // Unlocked: a server ends only after the import it is making, which takes the lock.
  servers_.clear();
  const std::lock_guard lock(mutex_);
  for (auto& [id, hive] : hives_) {
    try {
      Commit(hive);
    } catch (const std::exception&) {
      // Nothing can be reported any more; the file keeps its last committed state.
    }
  }
}

bool PosixRegistry::IsPredefined(RegKey key) {
  return !RootName(key).empty();
}

bool PosixRegistry::CanMountBelow(RegKey root) {
  return root == kHkeyLocalMachine || root == kHkeyUsers;
}

std::string PosixRegistry::RootName(RegKey root) {
  switch (root) {
    case kHkeyClassesRoot:
      return "HKCR";
    case kHkeyCurrentUser:
      return "HKCU";
    case kHkeyLocalMachine:
      return "HKLM";
    case kHkeyUsers:
      return "HKU";
    case kHkeyCurrentConfig:
      return "HKCC";
    case kHkeyDynData:
      return "HKDD";
    default:
      return {};
  }
}

std::int32_t PosixRegistry::Place(RegKey key, const std::string& subKey, KeyPlace& place) {
  place = KeyPlace{};
  place.rest = SplitKeyPath(subKey);
  bool atStoreRoot = false;
  if (IsPredefined(key)) {
    place.root = key;
    place.access = kKeyAllAccess;
    atStoreRoot = true;
  } else {
    const auto open = keys_.find(key);
    if (open == keys_.end()) return kErrorInvalidHandle;
    if (open->second.deleted) return kErrorKeyDeleted;
    place.root = open->second.root;
    place.hiveId = open->second.hiveId;
    place.base = open->second.node;
    place.basePath = open->second.path;
    place.access = open->second.access;
    const auto& hive = hives_.at(place.hiveId);
    place.file = hive.path;
    place.guest = hive.guest;
    atStoreRoot = !hive.guest && place.basePath.empty();
  }
  if (!atStoreRoot) return kErrorSuccess;

  // From the root of a store hive, the first component may name a mounted hive.
  if (CanMountBelow(place.root) && !place.rest.empty()) {
    if (auto mount = MountTable::Find(mounts_.Read(), RootName(place.root),
                                      Utf8ToAnsi(place.rest.front()))) {
      place.hiveId = mount->root + "\\" + mount->name;
      place.file = std::filesystem::weakly_canonical(store_) / mount->copy;
      place.guest = true;
      place.base = 0;
      place.basePath.clear();
      place.rest.erase(place.rest.begin());
      return kErrorSuccess;
    }
  }
  place.hiveId = RootName(place.root);
  // The path without links, as commits check that the folder is still the one opened.
  place.file = std::filesystem::weakly_canonical(store_) / (place.hiveId + ".hiv");
  place.guest = false;
  place.base = 0;
  place.basePath.clear();
  return kErrorSuccess;
}

std::int32_t PosixRegistry::CreateStoreHive(const std::filesystem::path& file) {
  Locked lock(*this, StoreLock::Mode::kExclusive);
  UniqueFd folder(::open(store_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!folder.valid()) return StatusFromErrno(errno);
  const auto image = EmptyHiveImage("ROOT");
  return DurablyReplace(
      folder.get(), file.filename().string(),
      [&](int fd) { return WriteFully(fd, image.data(), image.size()); }, nullptr,
      /*keepExisting=*/true);
}

std::int32_t PosixRegistry::Load(const KeyPlace& place, bool forWriting, LoadedHive*& hive) {
  auto [entry, inserted] = hives_.try_emplace(place.hiveId);
  hive = &entry->second;
  if (hive->openKeys == 0) {
    // Kept while its file is unchanged; another process's commit (or a new mount under the
    // same name) makes it read again. A held hive's changes live only here: they are kept.
    const bool holdsChanges = hive->held && hive->file && hive->file->changed();
    if (hive->file && !holdsChanges && (hive->path != place.file || !hive->file->Current()))
      hive->file.reset();
    hive->path = place.file;
    hive->guest = place.guest;
    hive->held = place.guest && servers_.contains(place.hiveId);
  }
  if (hive->file) return kErrorSuccess;
  std::int32_t status = kErrorSuccess;
  {
    Locked lock(*this, StoreLock::Mode::kShared);
    if (!hive->guest && !std::filesystem::exists(hive->path)) {
      if (!forWriting) return kErrorSuccess;
    } else {
      status = HiveFile::Open(hive->path, {.durable = !hive->guest}, hive->file);
    }
  }
  if (!hive->file && status == kErrorSuccess) {
    // A store hive is made on its first change.
    status = CreateStoreHive(hive->path);
    if (status == kErrorSuccess) {
      Locked lock(*this, StoreLock::Mode::kShared);
      status = HiveFile::Open(hive->path, {}, hive->file);
    }
  }
  if (hive->file) ++hiveReads_;
  if (status != kErrorSuccess && hive->openKeys == 0) {
    hives_.erase(entry);
    hive = nullptr;
  }
  return status;
}

std::int32_t PosixRegistry::Walk(LoadedHive& hive, hive_node_h from,
                                 const std::vector<std::string>& parts, hive_node_h& node,
                                 std::size_t& found) {
  found = 0;
  if (!hive.file) {
    node = 0;
    return parts.empty() ? kErrorSuccess : kErrorFileNotFound;
  }
  node = from != 0 ? from : hivex_root(hive.file->handle());
  for (const auto& part : parts) {
    hive_node_h match = 0;
    if (const auto status = hive.file->FindChild(node, part, match); status != kErrorSuccess)
      return status;
    if (match == 0) return kErrorFileNotFound;
    node = match;
    ++found;
  }
  return kErrorSuccess;
}

std::int32_t PosixRegistry::Commit(LoadedHive& hive) {
  if (!hive.file) return kErrorSuccess;
  Locked lock(*this, StoreLock::Mode::kExclusive);
  return hive.file->Commit();
}

PosixRegistry::HiveUse::~HiveUse() {
  if (finished_) return;
  const auto entry = registry_.hives_.find(hiveId_);
  if (entry != registry_.hives_.end() && entry->second.openKeys == 0 && entry->second.file &&
      entry->second.file->changed())
    Lose(entry->second);
}

std::int32_t PosixRegistry::HiveUse::Finish(std::int32_t status) {
  finished_ = true;
  const auto entry = registry_.hives_.find(hiveId_);
  // A held hive is written at its unload.
  if (entry == registry_.hives_.end() || entry->second.openKeys > 0 || entry->second.held)
    return status;
  const auto written = registry_.Guarded([&] { return registry_.Commit(entry->second); });
  // A failed write leaves the file as it was: the changes go, and the hive is read again.
  if (written != kErrorSuccess) entry->second.file.reset();
  return status != kErrorSuccess ? status : written;
}

RegKey PosixRegistry::AddHandle(const KeyPlace& place, hive_node_h node, std::uint32_t access) {
  OpenKey key;
  key.root = place.root;
  key.hiveId = place.hiveId;
  auto& hive = hives_.at(place.hiveId);
  key.node = hive.file && node == hivex_root(hive.file->handle()) ? 0 : node;
  key.path = place.basePath;
  key.path.insert(key.path.end(), place.rest.begin(), place.rest.end());
  key.access = access;
  ++hive.openKeys;
  const RegKey handle = nextKey_;
  nextKey_ += 4;
  keys_.emplace(handle, std::move(key));
  return handle;
}

std::int32_t PosixRegistry::Reach(RegKey key, std::uint32_t accessNeeded, bool forWriting,
                                  ReachedKey& reached) {
  auto& [place, hive, node] = reached;
  if (const auto status = Place(key, "", place); status != kErrorSuccess) return status;
  if ((place.access & accessNeeded) != accessNeeded) return kErrorAccessDenied;
  if (const auto status = Load(place, forWriting, hive); status != kErrorSuccess) return status;
  node = place.base;
  if (hive->file && node == 0) node = hivex_root(hive->file->handle());
  return kErrorSuccess;
}

std::int32_t PosixRegistry::RegOpenKeyExA(RegKey key, const std::string& subKey, std::uint32_t,
                                          std::uint32_t samDesired, RegKey& result) {
  return Guarded([&] {
    KeyPlace place;
    if (const auto status = Place(key, subKey, place); status != kErrorSuccess) return status;
    HiveUse use(*this, place.hiveId);
    LoadedHive* hive = nullptr;
    if (const auto status = Load(place, false, hive); status != kErrorSuccess) return status;
    hive_node_h node = 0;
    std::size_t found = 0;
    const auto status = Walk(*hive, place.base, place.rest, node, found);
    if (status == kErrorSuccess) result = AddHandle(place, node, samDesired);
    return use.Finish(status);
  });
}

std::int32_t PosixRegistry::RegCreateKeyExA(RegKey key, const std::string& subKey,
                                            const std::string&, std::uint32_t,
                                            std::uint32_t samDesired, RegKey& result,
                                            std::uint32_t* disposition) {
  return Guarded([&] {
    KeyPlace place;
    if (const auto status = Place(key, subKey, place); status != kErrorSuccess) return status;
    for (const auto& part : place.rest)
      if (Utf8ToUtf16(part).size() > kLongestKeyName) return kErrorInvalidParameter;
    HiveUse use(*this, place.hiveId);
    LoadedHive* hive = nullptr;
    if (const auto status = Load(place, true, hive); status != kErrorSuccess) return status;
    hive_node_h node = 0;
    std::size_t found = 0;
    auto status = Walk(*hive, place.base, place.rest, node, found);
    if (status == kErrorFileNotFound) {
      status = kErrorSuccess;
      for (std::size_t i = found; i < place.rest.size() && status == kErrorSuccess; ++i)
        status = hive->file->AddChild(node, place.rest[i], node);
    }
    if (status == kErrorSuccess) {
      if (disposition != nullptr)
        *disposition = found == place.rest.size() ? kOpenedExistingKey : kCreatedNewKey;
      result = AddHandle(place, node, samDesired);
    }
    return use.Finish(status);
  });
}

std::int32_t PosixRegistry::RegEnumKeyA(RegKey key, std::uint32_t index, std::string& name,
                                        std::uint32_t bufferSize) {
  return Guarded([&] {
    ReachedKey reached;
    if (const auto status = Reach(key, kKeyEnumerateSubKeys, false, reached);
        status != kErrorSuccess)
      return status;
    auto& [place, hive, node] = reached;
    HiveUse use(*this, place.hiveId);
    std::optional<std::string> found;
    std::size_t ownKeys = 0;
    if (hive->file) {
      errno = 0;
      Malloced<hive_node_h> children(hivex_node_children(hive->file->handle(), node));
      if (!children) return use.Finish(kErrorBadDb);
      while (children.get()[ownKeys] != 0) ++ownKeys;
      if (index < ownKeys) {
        Malloced<char> child(hivex_node_name(hive->file->handle(), children.get()[index]));
        found = child ? Utf8ToAnsi(child.get()) : std::string();
      }
    }
    if (!found && !place.guest && place.basePath.empty() && CanMountBelow(place.root)) {
      // The mounted hives appear as keys of the root, after its own.
      std::size_t mountIndex = ownKeys;
      for (const auto& mount : mounts_.Read()) {
        if (mount.root != RootName(place.root)) continue;
        if (mountIndex++ == index) {
          found = mount.name;
          break;
        }
      }
    }
    if (const auto status = use.Finish(kErrorSuccess); status != kErrorSuccess) return status;
    if (!found) return kErrorNoMoreItems;
    if (found->size() + 1 > bufferSize) return kErrorMoreData;
    name = *found;
    return kErrorSuccess;
  });
}

std::int32_t PosixRegistry::RegDeleteTreeA(RegKey key, const std::string& subKey) {
  return Guarded([&] {
    KeyPlace place;
    if (const auto status = Place(key, subKey, place); status != kErrorSuccess) return status;
    HiveUse use(*this, place.hiveId);
    LoadedHive* hive = nullptr;
    if (const auto status = Load(place, false, hive); status != kErrorSuccess) return status;
    hive_node_h node = 0;
    std::size_t found = 0;
    auto status = Walk(*hive, place.base, place.rest, node, found);
    if (status == kErrorSuccess && !hive->file) status = kErrorFileNotFound;
    if (status != kErrorSuccess) return use.Finish(status);
    hive_h* handle = hive->file->handle();
    auto path = place.basePath;
    path.insert(path.end(), place.rest.begin(), place.rest.end());
    const bool wholeKey = !SplitKeyPath(subKey).empty();
    if (wholeKey && node == hivex_root(handle)) {
      status = kErrorAccessDenied;  // the root of a hive goes only by unmounting it
    } else if (wholeKey) {
      status = hive->file->DeleteKey(node);
    } else {
      // An empty path empties the key itself: its subkeys and values go, the key stays.
      Malloced<hive_node_h> children(hivex_node_children(handle, node));
      for (const hive_node_h* child = children ? children.get() : nullptr;
           child != nullptr && *child != 0 && status == kErrorSuccess; ++child)
        status = hive->file->DeleteKey(*child);
      if (status == kErrorSuccess) status = hive->file->WriteValues(node, {});
      hive->file->MarkChanged();
    }
    if (status == kErrorSuccess) {
      // Handles to deleted keys stay valid handles but reach nothing, as on Windows.
      for (auto& [handleValue, open] : keys_) {
        if (open.hiveId != place.hiveId || open.path.size() < path.size() + (wholeKey ? 0 : 1))
          continue;
        bool below = true;
        for (std::size_t i = 0; i < path.size() && below; ++i)
          below = SameRegistryName(open.path[i], path[i]);
        if (below) open.deleted = true;
      }
    }
    return use.Finish(status);
  });
}

std::int32_t PosixRegistry::RegFlushKey(RegKey key) {
  return Guarded([&] {
    KeyPlace place;
    if (const auto status = Place(key, "", place); status != kErrorSuccess) return status;
    const auto hive = hives_.find(place.hiveId);
    // A held hive's place on disk is the guest, written at the unload.
    if (hive == hives_.end() || hive->second.held) return kErrorSuccess;
    return Commit(hive->second);
  });
}

std::unique_ptr<RegistryClaim> PosixRegistry::ClaimForRepair() {
  auto claim = std::make_unique<StoreClaim>(store_);
  if (!claim->Valid()) return nullptr;
  return claim;
}

void PosixRegistry::DiscardChanges() {
  const std::lock_guard lock(mutex_);
  for (auto& [id, hive] : hives_) Lose(hive);
  for (auto& [handle, open] : keys_) open.deleted = true;
}

void PosixRegistry::Lose(LoadedHive& hive) {
  if (hive.held && hive.file && hive.file->changed()) hive.lost = true;
  hive.file.reset();
}

void PosixRegistry::Hold(const Mount& mount, std::unique_ptr<HiveFile> hive) {
  if (!holdMounts_) return;
  const auto hiveId = mount.root + "\\" + mount.name;
  auto& loaded = hives_[hiveId];
  loaded.path = std::filesystem::weakly_canonical(store_) / mount.copy;
  loaded.guest = true;
  loaded.file = std::move(hive);
  ++hiveReads_;
  // Without a server the importers work on the working copy, as for any mount.
  auto server = ImportServer::Start(
      store_, ImportSocketName(mount),
      [this](const std::vector<RegOperation>& operations) { return ApplyImport(operations); });
  if (server) servers_[hiveId] = std::move(server);
  loaded.held = servers_.contains(hiveId);
}

ImportReply PosixRegistry::ApplyImport(const std::vector<RegOperation>& operations) {
  const std::lock_guard lock(mutex_);
  try {
    ImportRegOperations(*this, operations);
    return {};
  } catch (const RegImportError& error) {
    return {error.status(), error.what()};
  } catch (const std::exception& error) {
    return {kErrorRegistryIoFailed, error.what()};
  }
}

std::int32_t PosixRegistry::RegCloseKey(RegKey key) {
  const std::lock_guard lock(mutex_);
  if (IsPredefined(key)) return kErrorSuccess;
  const auto open = keys_.find(key);
  if (open == keys_.end()) return kErrorInvalidHandle;
  HiveUse use(*this, open->second.hiveId);
  --hives_.at(open->second.hiveId).openKeys;
  keys_.erase(open);
  return use.Finish(kErrorSuccess);
}

}  // namespace ravlin

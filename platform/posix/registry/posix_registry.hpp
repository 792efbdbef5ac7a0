#pragma once

#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <system_error>
#include <vector>

#include "platform/posix/files/drive_table.hpp"
#include "platform/posix/registry/import_server.hpp"
#include "platform/posix/registry/posix_registry_hive.hpp"
#include "platform/posix/registry/posix_registry_mounts.hpp"
#include "platform/posix/registry/posix_registry_storage.hpp"
#include "platform/posix/registry/privilege_state.hpp"
#include "platform/registry.hpp"

namespace ravlin {

// The registry on Linux: a store folder with one hive file per predefined root (created on
// the first write) and a mount table that makes guest hive files appear as keys below HKLM
// or HKU, each through a working copy in the store that the unload writes back into the
// guest. Changes stay in memory while keys of their hive are open and reach the file, once,
// at RegFlushKey or when the last open key of the hive is closed. A hive read once stays in
// memory while its file is unchanged, so that a call costs what it touches.
class PosixRegistry : public Registry {
 public:
  PosixRegistry(std::filesystem::path store, std::shared_ptr<const DriveTable> drives,
                std::shared_ptr<const PrivilegeState> privileges);
  PosixRegistry(const PosixRegistry&) = delete;
  PosixRegistry& operator=(const PosixRegistry&) = delete;
  // Writes what keys still open have changed, as Windows does when a process ends.
  ~PosixRegistry() override;

  std::int32_t RegOpenKeyExA(RegKey key, const std::string& subKey, std::uint32_t options,
                             std::uint32_t samDesired, RegKey& result) override;
  std::int32_t RegEnumKeyA(RegKey key, std::uint32_t index, std::string& name,
                           std::uint32_t bufferSize) override;
  std::int32_t RegQueryValueExA(RegKey key, const std::string& valueName, std::uint32_t* type,
                                std::uint8_t* data, std::uint32_t* dataSize) override;
  std::int32_t RegQueryValueExW(RegKey key, const std::string& valueName, std::uint32_t* type,
                                std::uint8_t* data, std::uint32_t* dataSize) override;
  std::int32_t RegCreateKeyExA(RegKey key, const std::string& subKey, const std::string& keyClass,
                               std::uint32_t options, std::uint32_t samDesired, RegKey& result,
                               std::uint32_t* disposition) override;
  std::int32_t RegSetValueExA(RegKey key, const std::string& valueName, std::uint32_t type,
                              const std::uint8_t* data, std::uint32_t dataSize) override;
  std::int32_t RegSetValueExW(RegKey key, const std::string& valueName, std::uint32_t type,
                              const std::uint8_t* data, std::uint32_t dataSize) override;
  std::int32_t RegDeleteValueA(RegKey key, const std::string& valueName) override;
  std::int32_t RegDeleteTreeA(RegKey key, const std::string& subKey) override;
  std::int32_t RegFlushKey(RegKey key) override;
  std::int32_t RegCloseKey(RegKey key) override;
  std::int32_t RegLoadKeyA(RegKey key, const std::string& subKey, const std::string& file) override;
  std::int32_t RegUnLoadKeyA(RegKey key, const std::string& subKey) override;
  // Drops the working copy; the guest's hive file is never touched.
  std::int32_t DiscardLoadedKey(RegKey key, const std::string& subKey) override;
  // A dirty guest hive is recovered from its transaction logs into the working copy.
  HiveRecovery LastLoadRecovery() const override { return lastLoadRecovery_; }
  // A lock on a file of the store, held without waiting.
  std::unique_ptr<RegistryClaim> ClaimForRepair() override;

  // From now on each guest hive this object mounts is read once and held in memory until its
  // unload, which writes it into the guest once; the importers of the store (processes of
  // their own) send their changes here instead of reading and rewriting the whole hive. The
  // calls may then come from the serving thread too: every call takes the object's lock.
  // Should this object end first, the changes go to the working copy, as any process's do.
  void HoldMounts() { holdMounts_ = true; }

  // Drops every change this process has not written yet, so that a failed import leaves
  // nothing of itself behind: the hives are read again at their next use, and keys still
  // open stay valid handles that reach nothing. A held hive that loses changes so can no
  // longer be written back: only discarded.
  void DiscardChanges();
  // How many times this object has read a hive file: a hive is read again only when another
  // process has changed it.
  std::size_t HiveReads() const { return hiveReads_; }

 private:
  // A hive this process holds in memory; `file` is null for a store hive not created yet,
  // which reads as an empty root key.
  struct LoadedHive {
    std::filesystem::path path;
    bool guest = false;
    std::unique_ptr<HiveFile> file;
    int openKeys = 0;
    // Held in memory until the unload (HoldMounts); `lost` once changes of it were dropped.
    bool held = false;
    bool lost = false;
  };
  struct OpenKey {
    RegKey root = 0;
    std::string hiveId;
    hive_node_h node = 0;           // 0: the hive's root key
    std::vector<std::string> path;  // from the hive's root, UTF-8
    std::uint32_t access = 0;
    bool deleted = false;
  };
  // Where a key and a path below it lead.
  struct KeyPlace {
    RegKey root = 0;
    std::string hiveId;
    std::filesystem::path file;
    bool guest = false;
    hive_node_h base = 0;
    std::vector<std::string> basePath;
    std::vector<std::string> rest;
    std::uint32_t access = 0;  // of the key handle the path starts from
  };
  // An open key's place with its loaded hive and node, as the value and enumeration calls
  // need them.
  struct ReachedKey {
    KeyPlace place;
    LoadedHive* hive = nullptr;
    hive_node_h node = 0;
  };
  // One call's use of a hive. Once no key of the hive is open any more, Finish writes its
  // changes; a call left by an exception drops the changes of a hive no key holds, which
  // may be half made.
  class HiveUse {
   public:
    HiveUse(PosixRegistry& registry, std::string hiveId)
        : registry_(registry), hiveId_(std::move(hiveId)) {}
    HiveUse(const HiveUse&) = delete;
    HiveUse& operator=(const HiveUse&) = delete;
    ~HiveUse();
    // The call's status, or the write's when the call itself succeeded.
    std::int32_t Finish(std::int32_t status);

   private:
    PosixRegistry& registry_;
    std::string hiveId_;
    bool finished_ = false;
  };
  // The store lock, taken once however deeply the calls nest.
  class Locked {
   public:
    Locked(PosixRegistry& registry, StoreLock::Mode mode);
    Locked(const Locked&) = delete;
    Locked& operator=(const Locked&) = delete;
    ~Locked();

   private:
    PosixRegistry& registry_;
    std::unique_ptr<StoreLock> lock_;
  };

  static bool IsPredefined(RegKey key);
  static bool CanMountBelow(RegKey root);
  static std::string RootName(RegKey root);

  // Keys (posix_registry.cpp).
  std::int32_t Place(RegKey key, const std::string& subKey, KeyPlace& place);
  std::int32_t Load(const KeyPlace& place, bool forWriting, LoadedHive*& hive);
  std::int32_t CreateStoreHive(const std::filesystem::path& file);
  std::int32_t Walk(LoadedHive& hive, hive_node_h from, const std::vector<std::string>& parts,
                    hive_node_h& node, std::size_t& found);
  std::int32_t Commit(LoadedHive& hive);
  RegKey AddHandle(const KeyPlace& place, hive_node_h node, std::uint32_t access);
  // The key a handle (or a predefined root) names, loaded: `node` is resolved from 0.
  std::int32_t Reach(RegKey key, std::uint32_t accessNeeded, bool forWriting, ReachedKey& reached);

  // Runs one call under the object's lock, turning a failure to reach the store into a
  // status.
  template <typename Call>
  std::int32_t Guarded(Call&& call) {
    const std::lock_guard lock(mutex_);
    try {
      return call();
    } catch (const std::system_error& error) {
      return StatusFromErrno(error.code().value());
    } catch (const std::bad_alloc&) {
      return kErrorRegistryIoFailed;
    }
  }

  // Ends the mount of `subKey` below `key`, writing its working copy back into the guest
  // first or dropping it (posix_registry_load.cpp).
  std::int32_t EndMount(RegKey key, const std::string& subKey, bool writeBack);
  // Keeps the hive of a mount just made, read from its working copy, and starts serving its
  // importers (HoldMounts).
  void Hold(const Mount& mount, std::unique_ptr<HiveFile> hive);
  // Drops what a held hive changed: it can no longer be written back.
  static void Lose(LoadedHive& hive);
  // Applies a registry file's changes for an importer.
  ImportReply ApplyImport(const std::vector<RegOperation>& operations);

  // Values (posix_registry_values.cpp).
  std::int32_t SetValue(RegKey key, const std::string& valueName, std::uint32_t type,
                        std::vector<std::uint8_t> data);
  // RegQueryValueExA and RegQueryValueExW, which differ only in how they hand the data out.
  using HandOutValue = std::int32_t (*)(std::uint32_t, const std::vector<std::uint8_t>&,
                                        std::uint32_t*, std::uint8_t*, std::uint32_t*);
  std::int32_t QueryValue(RegKey key, const std::string& valueName, std::uint32_t* type,
                          std::uint8_t* data, std::uint32_t* dataSize, HandOutValue handOut);

  std::filesystem::path store_;
  std::shared_ptr<const DriveTable> drives_;
  std::shared_ptr<const PrivilegeState> privileges_;
  MountTable mounts_;
  std::map<std::string, LoadedHive> hives_;
  std::map<RegKey, OpenKey> keys_;
  RegKey nextKey_ = 0x100;
  std::size_t hiveReads_ = 0;
  HiveRecovery lastLoadRecovery_;
  int lockDepth_ = 0;
  StoreLock::Mode lockMode_ = StoreLock::Mode::kShared;
  bool holdMounts_ = false;
  std::recursive_mutex mutex_;
  // The servers of the held mounts by hive; last, so that they stop before anything else goes.
  std::map<std::string, std::unique_ptr<ImportServer>> servers_;
};

}  // namespace ravlin

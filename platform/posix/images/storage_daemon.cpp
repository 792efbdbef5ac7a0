#include "platform/posix/images/storage_daemon.hpp"

#include <fstream>

#include "platform/disk_images.hpp"

namespace ravlin {
namespace {

constexpr auto kStartLimit = std::chrono::seconds(20);
constexpr auto kLeftOverLimit = std::chrono::seconds(2);
constexpr auto kExportLimit = std::chrono::seconds(30);
constexpr auto kQuitLimit = std::chrono::seconds(30);

std::string ExportId(const std::string& node) {
  return "export-" + node;
}

bool IsLockConflict(const std::string& description) {
  return description.find("lock") != std::string::npos;
}

}  // namespace

StorageDaemon::StorageDaemon(const std::filesystem::path& runFolder)
    : process_({"qemu-storage-daemon", "--chardev",
                std::string("socket,id=control,server=on,wait=off,path=") + kSocket, "--monitor",
                "chardev=control"},
               runFolder) {
  try {
    qmp_.emplace(runFolder, kSocket, kStartLimit);
  } catch (const DiskImageError&) {
    if (process_.Wait(std::chrono::milliseconds(0)))
      throw DiskImageError("qemu-storage-daemon ended at its start: " + process_.Errors());
    throw;
  }
}

StorageDaemon::~StorageDaemon() {
  try {
    Quit();
  } catch (const DiskImageError&) {
    // The process owner ends a daemon that would not quit; a later run cleans up after it.
  }
}

void StorageDaemon::OpenImage(const std::string& node, const std::filesystem::path& image,
                              const std::string& format, bool writable) {
  const std::string file = node + "-file";
  try {
    qmp_->Execute("blockdev-add", {{"driver", "file"},
                                   {"node-name", file},
                                   {"filename", image.string()},
                                   {"read-only", !writable}});
    nodes_.push_back(file);
    qmp_->Execute(
        "blockdev-add",
        {{"driver", format}, {"node-name", node}, {"file", file}, {"read-only", !writable}});
    nodes_.push_back(node);
  } catch (const DiskImageError& error) {
    if (IsLockConflict(error.what()))
      throw DiskImageError(
          image.string() +
          " is in use by another program (is its virtual machine running?): " + error.what());
    throw;
  }
}

void StorageDaemon::AddSlice(const std::string& node, const std::string& parent,
                             std::uint64_t offset, std::uint64_t size, bool writable) {
  qmp_->Execute("blockdev-add", {{"driver", "raw"},
                                 {"node-name", node},
                                 {"file", parent},
                                 {"offset", offset},
                                 {"size", size},
                                 {"read-only", !writable}});
  nodes_.push_back(node);
}

void StorageDaemon::Export(const std::string& node, const std::filesystem::path& file,
                           bool writable) {
  std::ofstream(file, std::ios::trunc).close();
  qmp_->Execute("block-export-add", {{"type", "fuse"},
                                     {"id", ExportId(node)},
                                     {"node-name", node},
                                     {"mountpoint", file.string()},
                                     {"writable", writable}});
  exports_.push_back(node);
}

void StorageDaemon::Unexport(const std::string& node) {
  qmp_->Execute("block-export-del", {{"id", ExportId(node)}});
  std::erase(exports_, node);
  if (!qmp_->WaitForEvent("BLOCK_EXPORT_DELETED", ExportId(node), kExportLimit))
    throw DiskImageError("the image's export " + node + " was not removed");
}

void StorageDaemon::RemoveNode(const std::string& node) {
  qmp_->Execute("blockdev-del", {{"node-name", node}});
  std::erase(nodes_, node);
}

void StorageDaemon::Quit() {
  if (process_.Wait(std::chrono::milliseconds(0))) return;
  while (!exports_.empty()) Unexport(exports_.back());
  // Deleting the nodes flushes each format's metadata before the daemon goes.
  while (!nodes_.empty()) RemoveNode(nodes_.back());
  qmp_->Execute("quit");
  const auto exitCode = process_.Wait(kQuitLimit);
  if (!exitCode) throw DiskImageError("qemu-storage-daemon did not quit");
  if (*exitCode != 0)
    throw DiskImageError("qemu-storage-daemon ended with status " + std::to_string(*exitCode) +
                         ": " + process_.Errors());
}

void StorageDaemon::QuitLeftOver(const std::filesystem::path& runFolder) {
  if (!std::filesystem::exists(runFolder / kSocket)) return;
  try {
    QmpClient daemon(runFolder, kSocket, kLeftOverLimit);
    daemon.Execute("quit");
    daemon.WaitForClose(kQuitLimit);
  } catch (const DiskImageError&) {
    // No daemon listens there any more: nothing to quit.
  }
}

}  // namespace ravlin

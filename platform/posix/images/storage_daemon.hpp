#pragma once

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform/posix/images/child_process.hpp"
#include "platform/posix/images/qmp_client.hpp"

namespace ravlin {

// qemu-storage-daemon, owned: started with its control socket in a run folder, driven over
// that socket, and told to quit over it when the object goes (a signal would leave its
// FUSE exports mounted). Nodes and exports are removed in the reverse order of their adding.
class StorageDaemon {
 public:
  static constexpr const char* kSocket = "qmp.sock";

  // Throws DiskImageError when the daemon cannot be started or does not answer.
  explicit StorageDaemon(const std::filesystem::path& runFolder);
  StorageDaemon(const StorageDaemon&) = delete;
  StorageDaemon& operator=(const StorageDaemon&) = delete;
  ~StorageDaemon();

  // Opens `image` in `format` as the node named `node`; its backing files (if any) are
  // opened read-only by qemu itself.
  void OpenImage(const std::string& node, const std::filesystem::path& image,
                 const std::string& format, bool writable);
  // A raw node over `size` bytes of `parent` from `offset`.
  void AddSlice(const std::string& node, const std::string& parent, std::uint64_t offset,
                std::uint64_t size, bool writable);
  // Exports `node` through FUSE on the regular file `file`, made empty first.
  void Export(const std::string& node, const std::filesystem::path& file, bool writable);
  // Removes the export of `node` and waits until it is gone.
  void Unexport(const std::string& node);
  void RemoveNode(const std::string& node);
  // Removes what is left, quits and waits for the daemon's end; throws DiskImageError when
  // it did not end cleanly.
  void Quit();
  pid_t Id() const { return process_.Id(); }

  // Tells a daemon that a killed run left behind in `runFolder` to quit, and waits for its
  // end; nothing when no daemon answers there.
  static void QuitLeftOver(const std::filesystem::path& runFolder);

 private:
  ChildProcess process_;
  std::optional<QmpClient> qmp_;
  std::vector<std::string> exports_;
  std::vector<std::string> nodes_;
};

}  // namespace ravlin

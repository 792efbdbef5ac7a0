#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/posix/registry/import_wire.hpp"
#include "platform/posix/runtime/unique_fd.hpp"

namespace ravlin {

// Serves the importers of a hive that this process holds in memory: each connection on a
// socket in the registry store brings one registry file's changes, which `apply` makes, and
// takes the result back. So an import costs what it changes, not a read and a rewrite of the
// whole hive. Only processes of the same user (or the administrator) are served.
class ImportServer {
 public:
  using Apply = std::function<ImportReply(const std::vector<RegOperation>&)>;

  // Listens as `name` in the folder `store`; nothing when it cannot (the importers then work
  // on the store's files as without a server).
  static std::unique_ptr<ImportServer> Start(const std::filesystem::path& store,
                                             const std::string& name, Apply apply);
  struct Endpoint {
    UniqueFd folder;
    std::string name;
    UniqueFd listening;
    UniqueFd wake;
  };
  ImportServer(Endpoint endpoint, Apply apply);
  ImportServer(const ImportServer&) = delete;
  ImportServer& operator=(const ImportServer&) = delete;
  // Stops serving (an import being made ends first) and removes the socket.
  ~ImportServer();

 private:
  void Serve();
  void Answer(int connection);

  Endpoint endpoint_;
  Apply apply_;
  std::thread thread_;
};

// Sends the changes to the process serving `name` in `store`: its reply, or nothing when no
// process serves there (the socket is missing or left by a process that ended).
std::optional<ImportReply> SendImport(const std::filesystem::path& store, const std::string& name,
                                      const std::vector<RegOperation>& operations);

}  // namespace ravlin

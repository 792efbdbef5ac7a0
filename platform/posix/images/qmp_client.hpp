#pragma once

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/posix/runtime/unique_fd.hpp"

namespace ravlin {

// A client of a QEMU machine protocol server on a Unix socket: one JSON object a line, a
// command answered by "return" or "error", events arriving in between.
class QmpClient {
 public:
  // Connects to `socket` (in `folder`, reached through the folder's descriptor so that a
  // long path does not matter), retrying until `limit` passes, and leaves the greeting's
  // negotiation mode. Throws DiskImageError when no server answers.
  QmpClient(const std::filesystem::path& folder, const std::string& socket,
            std::chrono::milliseconds limit);

  // Runs a command and returns its "return" value; throws DiskImageError with the server's
  // description of an error, or when the server closes the connection.
  nlohmann::json Execute(const std::string& command,
                         const nlohmann::json& arguments = nlohmann::json::object());
  // Waits until the server closes the connection (as it does when it ends); false when it
  // still holds it open after `limit`.
  bool WaitForClose(std::chrono::milliseconds limit);
  // Waits for event `name` about `id` (its data's "id"), also one that already arrived;
  // false when it did not come within `limit`.
  bool WaitForEvent(const std::string& name, const std::string& id,
                    std::chrono::milliseconds limit);

 private:
  // The next message, or nothing when none came before the deadline.
  std::optional<nlohmann::json> Read(std::chrono::steady_clock::time_point deadline);
  bool TakeEvent(const std::string& name, const std::string& id);

  UniqueFd socket_;
  std::string pending_;
  std::vector<nlohmann::json> events_;
};

}  // namespace ravlin

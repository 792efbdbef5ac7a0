#include "platform/posix/images/qmp_client.hpp"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <thread>

#include "platform/disk_images.hpp"

namespace ravlin {
namespace {

constexpr auto kCommandLimit = std::chrono::seconds(60);

UniqueFd Connect(const std::filesystem::path& folder, const std::string& socket,
                 std::chrono::milliseconds limit) {
  UniqueFd directory(::open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
  if (!directory.valid())
    throw DiskImageError("cannot open " + folder.string() + ": " + std::strerror(errno));
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  const std::string path = "/proc/self/fd/" + std::to_string(directory.get()) + "/" + socket;
  if (path.size() >= sizeof address.sun_path)
    throw DiskImageError("socket name too long: " + socket);
  std::copy(path.begin(), path.end(), address.sun_path);
  const auto deadline = std::chrono::steady_clock::now() + limit;
  for (;;) {
    UniqueFd connection(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (::connect(connection.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) ==
        0)
      return connection;
    if (std::chrono::steady_clock::now() >= deadline)
      throw DiskImageError("the image engine does not answer on its socket: " +
                           std::string(std::strerror(errno)));
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

}  // namespace

QmpClient::QmpClient(const std::filesystem::path& folder, const std::string& socket,
                     std::chrono::milliseconds limit)
    : socket_(Connect(folder, socket, limit)) {
  const auto greeting = Read(std::chrono::steady_clock::now() + limit);
  if (!greeting || !greeting->contains("QMP"))
    throw DiskImageError("the image engine sent no greeting on its socket");
  Execute("qmp_capabilities");
}

nlohmann::json QmpClient::Execute(const std::string& command, const nlohmann::json& arguments) {
  nlohmann::json message = {{"execute", command}};
  if (!arguments.empty()) message["arguments"] = arguments;
  const std::string line = message.dump() + "\n";
  for (std::size_t sent = 0; sent < line.size();) {
    const ssize_t wrote =
        ::send(socket_.get(), line.data() + sent, line.size() - sent, MSG_NOSIGNAL);
    if (wrote < 0 && errno == EINTR) continue;
    if (wrote < 0) throw DiskImageError("the image engine closed its socket (" + command + ")");
    sent += static_cast<std::size_t>(wrote);
  }
  const auto deadline = std::chrono::steady_clock::now() + kCommandLimit;
  for (;;) {
    auto answer = Read(deadline);
    if (!answer) throw DiskImageError("the image engine did not answer " + command);
    if (answer->contains("event")) {
      events_.push_back(std::move(*answer));
    } else if (answer->contains("error")) {
      throw DiskImageError((*answer)["error"].value("desc", std::string("failed")));
    } else {
      return answer->value("return", nlohmann::json::object());
    }
  }
}

bool QmpClient::TakeEvent(const std::string& name, const std::string& id) {
  const auto found = std::find_if(events_.begin(), events_.end(), [&](const nlohmann::json& e) {
    return e.value("event", "") == name && e.contains("data") && e["data"].value("id", "") == id;
  });
  if (found == events_.end()) return false;
  events_.erase(found);
  return true;
}

bool QmpClient::WaitForEvent(const std::string& name, const std::string& id,
                             std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!TakeEvent(name, id)) {
    auto message = Read(deadline);
    if (!message) return false;
    if (message->contains("event")) events_.push_back(std::move(*message));
  }
  return true;
}

bool QmpClient::WaitForClose(std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  try {
    while (Read(deadline)) {
    }
    return false;
  } catch (const DiskImageError&) {
    return true;
  }
}

std::optional<nlohmann::json> QmpClient::Read(std::chrono::steady_clock::time_point deadline) {
  for (;;) {
    if (const auto end = pending_.find('\n'); end != std::string::npos) {
      const std::string line = pending_.substr(0, end);
      pending_.erase(0, end + 1);
      auto parsed = nlohmann::json::parse(line, nullptr, false);
      if (parsed.is_discarded() || !parsed.is_object())
        throw DiskImageError("the image engine sent an unreadable answer");
      return parsed;
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return std::nullopt;
    pollfd ready{socket_.get(), POLLIN, 0};
    const int polled = ::poll(&ready, 1, static_cast<int>(left.count()));
    if (polled < 0 && errno == EINTR) continue;
    if (polled <= 0) return std::nullopt;
    char buffer[4096];
    const ssize_t got = ::recv(socket_.get(), buffer, sizeof buffer, 0);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) throw DiskImageError("the image engine closed its socket");
    pending_.append(buffer, static_cast<std::size_t>(got));
  }
}

}  // namespace ravlin

#include "platform/posix/registry/import_server.hpp"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/posix/registry/posix_registry_storage.hpp"
#include "platform/registry.hpp"

namespace ravlin {
namespace {

// A registry file's changes are far smaller; anything larger is no importer's message.
constexpr std::uint64_t kLargestMessage = 64ull << 20;
// An importer that connects and then stalls must not hold the hive's holder for ever.
constexpr int kStallSeconds = 30;

// The socket's address through the store folder's descriptor, so that the store's path may
// be longer than an address holds.
bool AddressOf(int folder, const std::string& name, sockaddr_un& address) {
  address = {};
  address.sun_family = AF_UNIX;
  const std::string path = "/proc/self/fd/" + std::to_string(folder) + "/" + name;
  if (path.size() >= sizeof(address.sun_path)) return false;
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  return true;
}

bool ReadExactly(int fd, std::uint8_t* data, std::size_t size) {
  while (size > 0) {
    const auto got = ::recv(fd, data, size, 0);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    data += got;
    size -= static_cast<std::size_t>(got);
  }
  return true;
}

bool SendMessage(int fd, const std::vector<std::uint8_t>& message) {
  std::uint8_t length[8];
  for (int i = 0; i < 8; ++i) length[i] = static_cast<std::uint8_t>(message.size() >> (8 * i));
  for (const auto& [data, size] :
       {std::pair<const std::uint8_t*, std::size_t>{length, sizeof length},
        std::pair<const std::uint8_t*, std::size_t>{message.data(), message.size()}}) {
    for (std::size_t sent = 0; sent < size;) {
      const auto wrote = ::send(fd, data + sent, size - sent, MSG_NOSIGNAL);
      if (wrote < 0 && errno == EINTR) continue;
      if (wrote <= 0) return false;
      sent += static_cast<std::size_t>(wrote);
    }
  }
  return true;
}

std::optional<std::vector<std::uint8_t>> ReceiveMessage(int fd) {
  std::uint8_t length[8];
  if (!ReadExactly(fd, length, sizeof length)) return std::nullopt;
  std::uint64_t size = 0;
  for (int i = 0; i < 8; ++i) size |= std::uint64_t{length[i]} << (8 * i);
  if (size > kLargestMessage) return std::nullopt;
  std::vector<std::uint8_t> message(size);
  if (!ReadExactly(fd, message.data(), message.size())) return std::nullopt;
  return message;
}

bool SameUserOrAdministrator(int connection) {
  ucred peer{};
  socklen_t size = sizeof peer;
  return ::getsockopt(connection, SOL_SOCKET, SO_PEERCRED, &peer, &size) == 0 &&
         (peer.uid == ::geteuid() || peer.uid == 0);
}

}  // namespace

std::unique_ptr<ImportServer> ImportServer::Start(const std::filesystem::path& store,
                                                  const std::string& name, Apply apply) {
  UniqueFd folder(::open(store.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  sockaddr_un address{};
  if (!folder.valid() || !AddressOf(folder.get(), name, address)) return nullptr;
  UniqueFd listening(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
  UniqueFd wake(::eventfd(0, EFD_CLOEXEC));
  if (!listening.valid() || !wake.valid()) return nullptr;
  ::unlinkat(folder.get(), name.c_str(), 0);
  if (::bind(listening.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
    return nullptr;
  if (::listen(listening.get(), 4) != 0) {
    ::unlinkat(folder.get(), name.c_str(), 0);
    return nullptr;
  }
  return std::make_unique<ImportServer>(
      Endpoint{std::move(folder), name, std::move(listening), std::move(wake)}, std::move(apply));
}

ImportServer::ImportServer(Endpoint endpoint, Apply apply)
    : endpoint_(std::move(endpoint)), apply_(std::move(apply)), thread_([this] { Serve(); }) {}

ImportServer::~ImportServer() {
  const std::uint64_t one = 1;
  while (::write(endpoint_.wake.get(), &one, sizeof one) < 0 && errno == EINTR) {
  }
  thread_.join();
  ::unlinkat(endpoint_.folder.get(), endpoint_.name.c_str(), 0);
}

void ImportServer::Serve() {
  for (;;) {
    pollfd watched[2] = {{endpoint_.listening.get(), POLLIN, 0}, {endpoint_.wake.get(), POLLIN, 0}};
    if (::poll(watched, 2, -1) < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (watched[1].revents != 0) return;
    const UniqueFd connection(::accept4(endpoint_.listening.get(), nullptr, nullptr, SOCK_CLOEXEC));
    if (connection.valid()) Answer(connection.get());
  }
}

void ImportServer::Answer(int connection) {
  if (!SameUserOrAdministrator(connection)) return;
  const timeval stall{kStallSeconds, 0};
  ::setsockopt(connection, SOL_SOCKET, SO_RCVTIMEO, &stall, sizeof stall);
  const auto request = ReceiveMessage(connection);
  if (!request) return;
  const auto operations = DecodeOperations(*request);
  const ImportReply reply =
      operations ? apply_(*operations)
                 : ImportReply{kErrorInvalidParameter, "the importer's message is damaged"};
  SendMessage(connection, EncodeReply(reply));
}

std::optional<ImportReply> SendImport(const std::filesystem::path& store, const std::string& name,
                                      const std::vector<RegOperation>& operations) {
  const UniqueFd folder(::open(store.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  sockaddr_un address{};
  if (!folder.valid() || !AddressOf(folder.get(), name, address)) return std::nullopt;
  const UniqueFd connection(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (!connection.valid()) return std::nullopt;
  while (::connect(connection.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) !=
         0) {
    if (errno != EINTR) return std::nullopt;
  }
  // From here on the holder took the changes: only its answer tells what became of them.
  const ImportReply lost{kErrorRegistryIoFailed,
                         "the process holding the hive ended before it answered"};
  if (!SendMessage(connection.get(), EncodeOperations(operations))) return lost;
  const auto message = ReceiveMessage(connection.get());
  if (!message) return lost;
  const auto reply = DecodeReply(*message);
  return reply ? *reply : lost;
}

}  // namespace ravlin

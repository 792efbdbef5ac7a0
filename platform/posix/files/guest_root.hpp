#pragma once

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#include "platform/posix/files/beneath.hpp"
#include "platform/posix/runtime/unique_fd.hpp"

namespace ravlin {

// The Windows folder a repair works on. Once it is chosen, every change the file services
// make below it is resolved beneath it: a link that leads out is refused, never followed.
// Paths elsewhere are reached as given.
class GuestRoot {
 public:
  // Holds the folder open from now on; below a folder that cannot be opened every change
  // fails with the error that kept it closed. An empty path confines nothing.
  void Choose(const std::filesystem::path& native);

  // open() of a file or folder that is about to change (errno in `error`).
  beneath::Opened Open(const std::filesystem::path& native, int flags, mode_t mode = 0) const;
  // The folder that holds the entry `native` and the entry's name, for the *at calls.
  beneath::Entry EntryOf(const std::filesystem::path& native) const;

 private:
  // The path of `native` relative to the chosen folder, when it lies strictly below it.
  std::optional<std::string> Below(const std::filesystem::path& native) const;

  std::filesystem::path path_;
  UniqueFd root_;
  int error_ = 0;
};

// EntryOf, a failure thrown as its classic run-time error (`notFoundNumber` for a missing
// folder).
beneath::Entry EntryOrThrow(const GuestRoot& guest, const std::filesystem::path& native,
                            std::int32_t notFoundNumber);

}  // namespace ravlin

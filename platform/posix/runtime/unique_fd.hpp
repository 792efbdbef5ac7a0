#pragma once

#include <dirent.h>
#include <unistd.h>

#include <utility>

namespace ravlin {

// A file descriptor closed when the object goes.
class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int descriptor) : descriptor_(descriptor) {}
  UniqueFd(UniqueFd&& other) noexcept : descriptor_(std::exchange(other.descriptor_, -1)) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept {
    if (this != &other) {
      Reset();
      descriptor_ = std::exchange(other.descriptor_, -1);
    }
    return *this;
  }
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;
  ~UniqueFd() { Reset(); }

  int get() const { return descriptor_; }
  bool valid() const { return descriptor_ >= 0; }
  // Hands the descriptor over to a new owner (fdopendir).
  int release() { return std::exchange(descriptor_, -1); }

 private:
  void Reset() {
    if (descriptor_ >= 0) ::close(descriptor_);
    descriptor_ = -1;
  }

  int descriptor_ = -1;
};

// An open directory stream closed when the object goes.
class UniqueDir {
 public:
  explicit UniqueDir(DIR* stream) : stream_(stream) {}
  UniqueDir(const UniqueDir&) = delete;
  UniqueDir& operator=(const UniqueDir&) = delete;
  ~UniqueDir() {
    if (stream_ != nullptr) ::closedir(stream_);
  }

  DIR* get() const { return stream_; }

 private:
  DIR* stream_;
};

}  // namespace ravlin

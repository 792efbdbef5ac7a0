#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>

namespace ravlin {

// The last non-empty line of a text that arrives in pieces, without its line break: what a
// child process last wrote to its standard error, on either backend.
class LastLine {
 public:
  void Add(std::string_view text) {
    for (const char c : text) {
      if (c == '\n') {
        if (!partial_.empty()) line_ = std::exchange(partial_, {});
      } else if (c != '\r' && partial_.size() < kLongest) {
        partial_ += c;
      }
    }
  }
  const std::string& Get() const { return partial_.empty() ? line_ : partial_; }

 private:
  // A reason fits in one line; a runaway line keeps its start.
  static constexpr std::size_t kLongest = 4096;
  std::string partial_;
  std::string line_;
};

}  // namespace ravlin

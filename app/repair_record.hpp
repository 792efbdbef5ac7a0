#pragma once

#include <string>
#include <vector>

namespace ravlin {

// What one repair attempt did, line by line, for the record kept in the guest.
class RepairRecord {
 public:
  void Add(std::string line) { lines_.push_back(std::move(line)); }
  const std::vector<std::string>& Lines() const { return lines_; }
  void Clear() { lines_.clear(); }

 private:
  std::vector<std::string> lines_;
};

}  // namespace ravlin

#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace ravlin {

// What one transaction log gave to a recovered hive.
struct HiveLogUse {
  std::string log;          // its file name, e.g. "system.LOG1"
  std::size_t entries = 0;  // of a new-format log; an old-format log has none
  std::size_t pages = 0;    // of 512 bytes (old format) or as the log's entries count them
};

// What a hive's transaction logs did for it when it was opened.
struct HiveRecovery {
  enum class State {
    kClean,      // nothing to do
    kRecovered,  // dirty, brought up to date from its logs
    kRefused,    // dirty, and no log could be used: the hive was left as it was
  };
  State state = State::kClean;
  std::vector<HiveLogUse> logs;
  // Refused: which log is missing or damaged, and how.
  std::string problem;

  // One line for people: "" for a clean hive.
  std::string Summary() const;
};

// The transaction logs found beside a hive file named `hiveName`, each when present.
struct HiveLogFiles {
  std::string hiveName;
  std::optional<std::vector<std::uint8_t>> log;   // hiveName.LOG
  std::optional<std::vector<std::uint8_t>> log1;  // hiveName.LOG1
  std::optional<std::vector<std::uint8_t>> log2;  // hiveName.LOG2
};

// Brings a dirty hive up to date from its logs, as Windows does when it loads it: the log
// format is recognised by the logs' base blocks. The result is a clean hive (one sequence
// number, a valid checksum), which Windows never replays a log over. When no log can be used
// the hive stays exactly as given and `problem` says why.
HiveRecovery RecoverHive(std::vector<std::uint8_t>& hive, const HiveLogFiles& logs);

}  // namespace ravlin

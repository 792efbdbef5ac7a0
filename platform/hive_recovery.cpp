#include "platform/hive_recovery.hpp"

#include <span>

#include "platform/hive_base_block.hpp"
#include "platform/hive_log_new_format.hpp"
#include "platform/hive_log_old_format.hpp"

namespace ravlin {
namespace {

struct NamedLog {
  std::string name;
  const std::optional<std::vector<std::uint8_t>>* bytes;
};

// In the order Windows tries them: the dual logs first; a single log of the old scheme (XP's
// only one) after them.
std::vector<NamedLog> InTryOrder(const HiveLogFiles& logs) {
  return {{logs.hiveName + ".LOG1", &logs.log1},
          {logs.hiveName + ".LOG2", &logs.log2},
          {logs.hiveName + ".LOG", &logs.log}};
}

bool IsNewFormat(const std::vector<std::uint8_t>& log) {
  return ReadBaseBlock(log).fileType == hive_base::kNewLog;
}

void AddProblem(std::string& problems, const std::string& problem) {
  problems += (problems.empty() ? "" : "; ") + problem;
}

}  // namespace

std::string HiveRecovery::Summary() const {
  switch (state) {
    case State::kClean:
      return {};
    case State::kRefused:
      return "The hive was not closed cleanly and cannot be recovered: " + problem + ".";
    case State::kRecovered:
      break;
  }
  std::string text = "The hive was not closed cleanly; recovered from its transaction logs:";
  for (std::size_t i = 0; i < logs.size(); ++i) {
    const auto& use = logs[i];
    text += (i == 0 ? " " : ", ") + std::to_string(use.pages) +
            (use.pages == 1 ? " page from " : " pages from ") + use.log;
    if (use.entries > 0)
      text += " (" + std::to_string(use.entries) + (use.entries == 1 ? " entry)" : " entries)");
  }
  return text + ".";
}

HiveRecovery RecoverHive(std::vector<std::uint8_t>& hive, const HiveLogFiles& logs) {
  HiveRecovery recovery;
  if (hive.size() < hive_base::kSize || !HiveIsDirty(hive)) return recovery;
  recovery.state = HiveRecovery::State::kRefused;
  const auto candidates = InTryOrder(logs);

  std::vector<NewFormatLog> newFormat;
  for (const auto& candidate : candidates)
    if (*candidate.bytes && IsNewFormat(**candidate.bytes))
      newFormat.push_back({candidate.name, **candidate.bytes});
  if (!newFormat.empty()) {
    recovery.problem = ReplayNewFormatLogs(hive, newFormat, recovery.logs);
    if (recovery.problem.empty()) recovery.state = HiveRecovery::State::kRecovered;
    return recovery;
  }

  // The old format: the first log that is valid and belongs to the hive wins.
  std::string problems;
  // XP keeps one log, later versions two: the other scheme's absence is no news.
  const bool dualLogs = logs.log1 || logs.log2;
  for (const auto& candidate : candidates) {
    if (!*candidate.bytes) {
      if (dualLogs != (candidate.bytes == &logs.log))
        AddProblem(problems, candidate.name + " is missing");
      continue;
    }
    if ((*candidate.bytes)->empty()) {
      AddProblem(problems, candidate.name + " is empty");
      continue;
    }
    HiveLogUse use{candidate.name, 0, 0};
    const auto problem = ReplayOldFormatLog(hive, **candidate.bytes, use);
    if (problem.empty()) {
      recovery.state = HiveRecovery::State::kRecovered;
      recovery.logs.push_back(use);
      return recovery;
    }
    AddProblem(problems, candidate.name + ": " + problem);
  }
  recovery.problem = problems;
  return recovery;
}

}  // namespace ravlin

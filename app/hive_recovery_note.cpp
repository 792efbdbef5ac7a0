#include "app/hive_recovery_note.hpp"

#include <array>
#include <string_view>

#include "app/form1.hpp"

namespace ravlin {

void CopyHiveLogs(FileService& files, const std::string& hive, const std::string& copy) {
  for (const std::string_view suffix : std::array<std::string_view, 3>{".LOG", ".LOG1", ".LOG2"})
    if (files.FileExists(hive + std::string(suffix)))
      files.CopyFile(hive + std::string(suffix), copy + std::string(suffix), true);
}

// A hive mounted from its logs, or refused because none could bring it up to date, is said
// on the screen and in the record; a clean one is not mentioned.
void Form1::NoteHiveRecovery() {
  const HiveRecovery recovery = platform_.registry->LastLoadRecovery();
  const std::string line = recovery.Summary();
  if (line.empty()) return;
  view_.StatusExplained(line);
  if (record_.IsOpen()) record_.Add("Hive recovery: " + line);
}

}  // namespace ravlin

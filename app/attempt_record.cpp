#include <string>

#include "app/form1.hpp"
#include "platform/runtime_error.hpp"

namespace ravlin {

std::string Form1::FileSummary(const std::string& path) {
  try {
    if (!platform_.files->FileExists(path)) return "missing";
    const FileDigest digest = DigestFile(*platform_.files, path, kLargestDigestedFile);
    return std::to_string(digest.size) + " bytes" +
           (digest.sha256 ? std::string(kDigestLabel) + *digest.sha256 : ", too large to read");
  } catch (const RuntimeError& error) {
    return "cannot be read (" + error.Description() + ")";
  }
}

void Form1::BeginRecord() {
  record_.Open();
  abortStage_.clear();
  recordGuest_ = Text(ControlId::Text1);
  record_.Add(std::string(kRepairBlockTitle));
  record_.Add("Date: " + UtcNow());
  std::string program = "Program: ";
  program.append(kApplicationTitle).append(" ");
  program.append(std::to_string(kVersionMajor)).append(".").append(std::to_string(kVersionMinor));
  record_.Add(program);
  record_.Add("Guest: " + recordGuest_);
  record_.Add("Hive before: " + FileSummary(recordGuest_ + std::string(kHiveFragment)));
}

void Form1::NoteImport(std::int16_t N, const std::string& registryFile,
                       const std::string& failure) {
  record_.Add("Control set " + std::to_string(N) + ": " + registryFile + ": " +
              (failure.empty() ? "imported, the editor ended with exit code 0" : failure));
}

void Form1::EndRecord(bool completed) {
  if (!record_.IsOpen()) return;
  const std::string hiveFile = recordGuest_ + std::string(kHiveFragment);
  record_.Add(std::string(kHiveAfterLabel) + FileSummary(hiveFile));
  record_.Add(std::string(kBackupLabel) + FileSummary(hiveFile + ".ravlin-backup"));
  if (completed)
    record_.Add("End: completed");
  else
    record_.Add("End: aborted during \"" +
                (abortStage_.empty() ? Text(ControlId::Label3) : abortStage_) + "\"" +
                (record_.LastMessage().empty() ? "" : ": " + record_.LastMessage()));
  WriteRecord();
}

void Form1::RecordUnmountAtExit() {
  if (recordGuest_.empty()) return;
  record_.Open();
  record_.Add("==== Ravlin: the hive of a stopped attempt unmounted as the program ended ====");
  record_.Add("Date: " + UtcNow());
  record_.Add(std::string(kHiveAfterLabel) +
              FileSummary(recordGuest_ + std::string(kHiveFragment)));
  WriteRecord();
}

void Form1::WriteRecord() {
  record_.Close();
  const std::string recordFile = recordGuest_ + std::string(kRecordFragment);
  try {
    platform_.files->WriteText(recordFile, record_.Block(), true);
  } catch (const RuntimeError& error) {
    platform_.ui->MessageBox(
        "Could not write the record of this attempt:  " + recordFile + "\r\n" + error.Description(),
        mb::kExclamation, std::string(kApplicationTitle));
  }
}

}  // namespace ravlin

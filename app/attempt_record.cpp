#include <string>

#include "app/form1.hpp"
#include "platform/runtime_error.hpp"

namespace ravlin {

std::string Form1::FileSummary(const std::string& path) {
  try {
    if (!platform_.files->FileExists(path)) return "missing";
    const FileDigest digest = platform_.files->DigestFile(path, kLargestDigestedFile);
    return std::to_string(digest.size) + " bytes" +
           (digest.sha256 ? std::string(kDigestLabel) + *digest.sha256 : ", too large to read");
  } catch (const RuntimeError& error) {
    return "cannot be read (" + error.Description() + ")";
  }
}

std::string Form1::BackupSummary(const std::string& path) {
  try {
    if (hiveBefore_ && hiveBefore_->fileId != 0) {
      const FileDetails backup = platform_.files->GetFile(path);
      if (backup.volumeId == hiveBefore_->volumeId && backup.fileId == hiveBefore_->fileId &&
          backup.size == hiveBefore_->size && backup.lastModified == hiveBefore_->lastModified)
        return hiveBeforeSummary_;
    }
  } catch (const RuntimeError&) {
    // FileSummary tells why the backup cannot be read.
  }
  return FileSummary(path);
}

void Form1::BeginRecord() {
  record_.Open();
  recordSaved_ = 0;
  recordBroken_ = false;
  abortStage_.clear();
  recordGuest_ = Text(ControlId::Text1);
  record_.Add(std::string(kRepairBlockTitle));
  record_.Add("Date: " + UtcNow());
  std::string program = "Program: ";
  program.append(kApplicationTitle).append(" ");
  program.append(std::to_string(kVersionMajor)).append(".").append(std::to_string(kVersionMinor));
  record_.Add(program);
  record_.Add("Guest: " + recordGuest_);
  const std::string hiveFile = recordGuest_ + std::string(kHiveFragment);
  hiveBefore_.reset();
  try {
    hiveBefore_ = platform_.files->GetFile(hiveFile);
  } catch (const RuntimeError&) {
    // FileSummary tells why the hive cannot be read.
  }
  hiveBeforeSummary_ = FileSummary(hiveFile);
  record_.Add("Hive before: " + hiveBeforeSummary_);
  SaveRecord();
}

void Form1::NoteImport(std::int16_t N, const std::string& registryFile,
                       const std::string& failure) {
  record_.Add("Control set " + std::to_string(N) + ": " + registryFile + ": " +
              (failure.empty() ? "imported, the editor ended with exit code 0" : failure));
  SaveRecord();
}

std::string Form1::AbortedAt() {
  return "aborted during \"" + (abortStage_.empty() ? Text(ControlId::Label3) : abortStage_) +
         "\"" + (record_.LastMessage().empty() ? "" : ": " + record_.LastMessage());
}

void Form1::EndRecord(const std::string& outcome) {
  if (!record_.IsOpen()) return;
  const std::string hiveFile = recordGuest_ + std::string(kHiveFragment);
  record_.Add(std::string(kHiveAfterLabel) + FileSummary(hiveFile));
  record_.Add(std::string(kBackupLabel) + BackupSummary(hiveFile + ".ravlin-backup"));
  record_.Add("End: " + outcome);
  // The empty line that ends the block.
  record_.Add("");
  SaveRecord();
  record_.Close();
}

void Form1::RecordUnmountAtExit() {
  if (recordGuest_.empty()) return;
  record_.Open();
  recordSaved_ = 0;
  recordBroken_ = false;
  record_.Add("==== Ravlin: the hive of a stopped attempt discarded as the program ended ====");
  record_.Add("Date: " + UtcNow());
  record_.Add(std::string(kHiveAfterLabel) +
              FileSummary(recordGuest_ + std::string(kHiveFragment)));
  record_.Add("");
  SaveRecord();
  record_.Close();
}

bool Form1::SaveRecord() {
  if (recordBroken_) return false;
  const auto& lines = record_.Lines();
  std::string text;
  for (auto line = lines.begin() + static_cast<long>(recordSaved_); line != lines.end(); ++line)
    text += *line + "\r\n";
  const std::string recordFile = recordGuest_ + std::string(kRecordFragment);
  try {
    // Appended at once, so that a run killed later still leaves what it did on record.
    platform_.files->WriteText(recordFile, text, true);
    recordSaved_ = lines.size();
    return true;
  } catch (const RuntimeError& error) {
    // Said once: the rest of the attempt goes unrecorded.
    recordBroken_ = true;
    platform_.ui->MessageBox(
        "Could not write the record of this attempt:  " + recordFile + "\r\n" + error.Description(),
        mb::kExclamation, std::string(kApplicationTitle));
    return false;
  }
}

}  // namespace ravlin

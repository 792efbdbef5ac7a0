#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/repair_constants.hpp"
#include "platform/file_service.hpp"
#include "platform/ui.hpp"

namespace ravlin {

// What one repair attempt did, line by line, for the record kept in the guest
// (<guest>\ravlin.log): plain text with CR LF, one block per attempt, appended.
class RepairRecord {
 public:
  void Open() {
    lines_.clear();
    lastMessage_.clear();
    open_ = true;
  }
  void Close() { open_ = false; }
  bool IsOpen() const { return open_; }
  void Add(std::string line) { lines_.push_back(std::move(line)); }
  const std::vector<std::string>& Lines() const { return lines_; }
  // Every box shown during the attempt goes into the record; the last one says why an
  // attempt stopped.
  void NoteMessage(const std::string& text);
  const std::string& LastMessage() const { return lastMessage_; }
  // The block as it is appended to the file.
  std::string Block() const;

 private:
  std::vector<std::string> lines_;
  std::string lastMessage_;
  bool open_ = false;
};

// The front end's boxes, noted in the record as they are shown.
class RecordingUi : public Ui {
 public:
  RecordingUi(std::shared_ptr<Ui> ui, RepairRecord& record) : ui_(std::move(ui)), record_(record) {}

  int MessageBox(const std::string& text, int style, const std::string& title) override;
  std::optional<std::filesystem::path> BrowseForFolder(Handle owner,
                                                       const std::string& prompt) override {
    return ui_->BrowseForFolder(owner, prompt);
  }
  void DoEvents() override { ui_->DoEvents(); }
  void ShowReport(const std::string& text, const std::string& title) override;

 private:
  std::shared_ptr<Ui> ui_;
  RepairRecord& record_;
};

// The only files an undo ever deletes, directly in the guest's system32\drivers: the IDE
// drivers a repair copies, and the one .sys file of a vendor's driver that a repair block
// records as installed from its INF (a plain file name, no folder).
bool IsVendorDriverFileName(std::string_view name);

// What a record file says about the repairs since the last undo: the guest hive as the last
// of them left it, its backup, and each driver file they copied with its digest.
struct RecordedRepairs {
  struct CopiedDriver {
    std::string name;  // one of kIdeDriverFiles as spelled there, or a vendor's .sys file
    std::string sha256;
    bool vendor = false;
  };
  std::optional<std::string> hiveAfterSha256;
  std::optional<std::string> backupSha256;
  // Each recorded copy once, the newest first.
  std::vector<CopiedDriver> copiedDrivers;
  // Driver lines that name any other file or are malformed: never acted on (the first few,
  // and how many there were).
  std::vector<std::string> ignoredLines;
  std::size_t ignoredCount = 0;
  // Why the record could not be read; empty when it was.
  std::string fault;
};

// Reads a record of `size` bytes from its end back to the last undo that ended, a piece at a time
// through `readPart(offset, length)`, so that memory stays bounded whatever the file holds.
using RecordPartReader = std::function<std::string(std::uint64_t offset, std::size_t length)>;
RecordedRepairs ReadRecordedRepairs(std::uint64_t size, const RecordPartReader& readPart,
                                    std::size_t pieceSize = 64 * 1024);
RecordedRepairs ReadRecordedRepairs(const std::string& recordText);

// No hive Windows loads, and no driver, is larger: a file beyond this is not digested.
inline constexpr std::uint64_t kLargestDigestedFile = std::uint64_t{1} << 30;

// The time now, as the record shows it ("2026-12-07 14:30:05 UTC").
std::string UtcNow();

// Record lines, shared by the writer and the reader.
inline constexpr std::string_view kRepairBlockTitle = "==== Ravlin repair attempt ====";
inline constexpr std::string_view kRestoreBlockTitle = "==== Ravlin restore ====";
inline constexpr std::string_view kRestoreEndLine = "End: restored";
inline constexpr std::string_view kHiveAfterLabel = "Hive after: ";
inline constexpr std::string_view kBackupLabel = "Backup: ";
inline constexpr std::string_view kDriverCopiedLabel = ": copied from ";
inline constexpr std::string_view kVendorDriverLabel = "Vendor driver: ";
inline constexpr std::string_view kDigestLabel = ", SHA-256 ";
inline constexpr std::string_view kRecordFragment = "\\ravlin.log";

}  // namespace ravlin

#include "app/repair_record.hpp"

#include <algorithm>
#include <chrono>

#include "platform/sha256.hpp"
#include "platform/text_bytes.hpp"

namespace ravlin {
namespace {

std::string OneLine(const std::string& text) {
  std::string line;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    line += text[i] == '\n' ? std::string(" / ") : std::string(1, text[i]);
  }
  return line;
}

std::string TwoDigits(unsigned value) {
  const std::string digits = std::to_string(value);
  return value < 10 ? '0' + digits : digits;
}

// No line the program writes is longer; a longer one is skipped unread.
constexpr std::size_t kLongestRecordLine = 64 * 1024;
// A record this much longer than its last undo is no record the program wrote.
constexpr std::uint64_t kLongestRecordRead = std::uint64_t{64} << 20;
// Of the lines an undo ignores, this many are reported word for word.
constexpr std::size_t kIgnoredLinesShown = 16;
constexpr std::size_t kDigestDigits = 64;

bool IsDigest(std::string_view text) {
  return text.size() == kDigestDigits && std::all_of(text.begin(), text.end(), [](char c) {
           return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
         });
}

// The digest a "... , SHA-256 <hex>" line ends with.
std::optional<std::string> DigestAtEnd(std::string_view line) {
  const std::size_t label = line.rfind(kDigestLabel);
  if (label == std::string_view::npos) return std::nullopt;
  const std::string_view digest = line.substr(label + kDigestLabel.size());
  if (!IsDigest(digest)) return std::nullopt;
  return std::string(digest);
}

std::optional<std::string_view> IdeDriverName(std::string_view name) {
  for (const std::string_view known : kIdeDriverFiles)
    if (EqualsIgnoringAsciiCase(name, known)) return known;
  return std::nullopt;
}

}  // namespace

bool IsVendorDriverFileName(std::string_view name) {
  constexpr std::size_t kLongestName = 64;
  if (name.size() <= 4 || name.size() > kLongestName ||
      !EqualsIgnoringAsciiCase(name.substr(name.size() - 4), ".sys") || name.front() == '.')
    return false;
  return std::all_of(name.begin(), name.end(), [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
           c == '-' || c == '.';
  });
}

namespace {

// The lines of a record taken from its last line up to the last undo block that ended, which
// ends the reading: the newest of each kind counts.
class RecordBackwards {
 public:
  bool Done() const { return done_; }
  void Fail(std::string why) {
    repairs_.fault = std::move(why);
    done_ = true;
  }
  RecordedRepairs Result() {
    EndBlock();
    return std::move(repairs_);
  }

  void Line(std::string_view line) {
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line == kRestoreEndLine) {
      EndBlock();
      undoEnded_ = true;
    } else if (line == kRestoreBlockTitle) {
      // An undo stopped while its block was written ends nothing: a second one finishes it.
      done_ = undoEnded_;
    } else if (line.starts_with("==== ")) {
      undoEnded_ = false;
      EndBlock();
    } else if (line.starts_with(kVendorDriverLabel)) {
      blockInstalledVendorDriver_ = true;
    } else if (line.starts_with(kHiveAfterLabel)) {
      if (!repairs_.hiveAfterSha256) repairs_.hiveAfterSha256 = DigestAtEnd(line);
    } else if (line.starts_with(kBackupLabel)) {
      if (!repairs_.backupSha256) repairs_.backupSha256 = DigestAtEnd(line);
    } else if (line.starts_with(kDriverLabel)) {
      DriverLine(line);
    }
  }

 private:
  static constexpr std::string_view kDriverLabel = "Driver ";
  // More copies than any run of repairs could record are no record of them.
  static constexpr std::size_t kMostCopies = 256;

  void DriverLine(std::string_view line) {
    const std::size_t copied = line.find(kDriverCopiedLabel);
    if (copied == std::string_view::npos) return;  // a skipped source, a failed copy ...
    const std::string_view named = line.substr(kDriverLabel.size(), copied - kDriverLabel.size());
    const auto digest = DigestAtEnd(line);
    if (!digest || repairs_.copiedDrivers.size() >= kMostCopies) return Ignore(line);
    if (const auto name = IdeDriverName(named)) return Add({std::string(*name), *digest, false});
    // A vendor's file counts only once its block's "Vendor driver:" line, above it, is read.
    if (!IsVendorDriverFileName(named)) return Ignore(line);
    vendorCopies_.push_back({std::string(named), *digest, true});
    vendorLines_.emplace_back(line.substr(0, 512));
  }

  void Add(RecordedRepairs::CopiedDriver copy) {
    const bool known = std::any_of(
        repairs_.copiedDrivers.begin(), repairs_.copiedDrivers.end(), [&](const auto& driver) {
          return EqualsIgnoringAsciiCase(driver.name, copy.name) && driver.sha256 == copy.sha256;
        });
    if (!known) repairs_.copiedDrivers.push_back(std::move(copy));
  }

  void Ignore(std::string_view line) {
    if (repairs_.ignoredLines.size() < kIgnoredLinesShown)
      repairs_.ignoredLines.emplace_back(line.substr(0, 512));
    ++repairs_.ignoredCount;
  }

  // The start of a block (its title) or of the file: the vendor copies read below it count
  // when the block installed a vendor's driver, and are ignored otherwise.
  void EndBlock() {
    for (std::size_t i = 0; i < vendorCopies_.size(); ++i) {
      if (blockInstalledVendorDriver_ && repairs_.copiedDrivers.size() < kMostCopies)
        Add(std::move(vendorCopies_[i]));
      else
        Ignore(vendorLines_[i]);
    }
    vendorCopies_.clear();
    vendorLines_.clear();
    blockInstalledVendorDriver_ = false;
  }

  std::vector<RecordedRepairs::CopiedDriver> vendorCopies_;
  std::vector<std::string> vendorLines_;
  bool blockInstalledVendorDriver_ = false;

  RecordedRepairs repairs_;
  bool done_ = false;
  bool undoEnded_ = false;
};

}  // namespace

std::string UtcNow() {
  const auto now = std::chrono::floor<std::chrono::seconds>(std::chrono::system_clock::now());
  const auto day = std::chrono::floor<std::chrono::days>(now);
  const std::chrono::year_month_day date(day);
  const std::chrono::hh_mm_ss time(now - day);
  return std::to_string(static_cast<int>(date.year())) + "-" +
         TwoDigits(static_cast<unsigned>(date.month())) + "-" +
         TwoDigits(static_cast<unsigned>(date.day())) + " " +
         TwoDigits(static_cast<unsigned>(time.hours().count())) + ":" +
         TwoDigits(static_cast<unsigned>(time.minutes().count())) + ":" +
         TwoDigits(static_cast<unsigned>(time.seconds().count())) + " UTC";
}

void RepairRecord::NoteMessage(const std::string& text) {
  if (!open_) return;
  lastMessage_ = OneLine(text);
  Add("Message: " + lastMessage_);
}

std::string RepairRecord::Block() const {
  std::string block;
  for (const std::string& line : lines_) block += line + "\r\n";
  return block + "\r\n";
}

int RecordingUi::MessageBox(const std::string& text, int style, const std::string& title) {
  record_.NoteMessage(text);
  return ui_->MessageBox(text, style, title);
}

void RecordingUi::ShowReport(const std::string& text, const std::string& title) {
  record_.NoteMessage(text);
  ui_->ShowReport(text, title);
}

RecordedRepairs ReadRecordedRepairs(std::uint64_t size, const RecordPartReader& readPart,
                                    std::size_t pieceSize) {
  RecordBackwards reader;
  std::uint64_t at = size;
  // The bytes before the last line break seen: the end of a line whose start is not read yet.
  std::string partial;
  bool partialTooLong = false;
  while (at > 0 && !reader.Done()) {
    if (size - at >= kLongestRecordRead) {
      reader.Fail("it holds more than " + std::to_string(kLongestRecordRead >> 20) +
                  " MiB since its last undo");
      break;
    }
    const std::size_t length = static_cast<std::size_t>(std::min<std::uint64_t>(pieceSize, at));
    at -= length;
    std::string piece = readPart(at, length);
    if (piece.size() != length) {
      reader.Fail("it changed while it was read");
      break;
    }
    if (!partialTooLong) piece += partial;
    std::size_t end = piece.size();
    for (std::size_t lineBreak;
         end > 0 && !reader.Done() && (lineBreak = piece.rfind('\n', end - 1)) != std::string::npos;
         end = lineBreak) {
      if (partialTooLong)
        partialTooLong = false;  // the rest of a line too long to be one the program wrote
      else
        reader.Line(std::string_view(piece).substr(lineBreak + 1, end - lineBreak - 1));
    }
    if (partialTooLong) continue;
    partial.assign(piece, 0, end);
    if (partial.size() > kLongestRecordLine) {
      partial.clear();
      partialTooLong = true;
    }
  }
  if (at == 0 && !reader.Done() && !partialTooLong) reader.Line(partial);
  return reader.Result();
}

RecordedRepairs ReadRecordedRepairs(const std::string& recordText) {
  return ReadRecordedRepairs(recordText.size(),
                             [&recordText](std::uint64_t offset, std::size_t length) {
                               return recordText.substr(static_cast<std::size_t>(offset), length);
                             });
}

}  // namespace ravlin

#include "app/repair_record.hpp"

#include <chrono>
#include <sstream>

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

RecordedRepairs ReadRecordedRepairs(const std::string& recordText) {
  RecordedRepairs repairs;
  std::istringstream lines(recordText);
  std::string line;
  while (std::getline(lines, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line == kRestoreBlockTitle) {
      repairs = {};
    } else if (line.starts_with(kHiveAfterLabel)) {
      const std::size_t digest = line.rfind(kDigestLabel);
      if (digest != std::string::npos)
        repairs.hiveAfterSha256 = line.substr(digest + kDigestLabel.size());
    } else if (line.starts_with("Driver ")) {
      const std::size_t copied = line.find(kDriverCopiedLabel);
      const std::size_t digest = line.rfind(kDigestLabel);
      if (copied != std::string::npos && digest != std::string::npos && digest > copied)
        repairs.copiedDrivers.push_back(
            {line.substr(7, copied - 7), line.substr(digest + kDigestLabel.size())});
    }
  }
  return repairs;
}

}  // namespace ravlin
